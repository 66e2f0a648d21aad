#!/usr/bin/env bash
# Builds (if needed) and runs the whole test suite for x86 and x64 under
# Wine, on one virtual display. Extra arguments go to ctest (for example
# -R Settings to run some tests only).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
status=0
for arch in x86 x64; do
    echo "== tests: $arch"
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$arch" "$@" || status=1
done
exit $status
