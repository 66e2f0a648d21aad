#!/usr/bin/env bash
# Runs a test program under Wine at another display scale: in a prefix of
# its own whose LogPixels is DPI (192 is 200 %), made on first use.
#   run-at-dpi.sh PREFIX DPI program.exe [arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=$1 dpi=$2
shift 2
"$here/cmake/wine-run" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
"$here/cmake/wine-run" "$prefix" reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
QUIBLET_EXPECT_DPI=$dpi exec "$here/cmake/wine-run" "$prefix" "$@"
