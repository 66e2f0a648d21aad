#!/usr/bin/env bash
# Takes pictures of the Options dialog and the About box in the stand-in
# editor (the README's come from the real editor: screenshots-realeditor.sh,
# this one also checks the layout at other scalings): the
# end-to-end test program of a build folder opens each from the stand-in
# editor's menu under a virtual display (its disabled Screenshot cases), and
# the pictures are saved as PNGs.
#   screenshots-dialogs.sh [BUILD_FOLDER] [OUTPUT_FOLDER] [DPI]
# Defaults: build/x86 and build/pictures/ (options.png, options-dark.png,
# about.png), from the repository root, at 96 DPI (100 %). Another DPI
# (144 for 150 %, 192 for 200 %) runs in a Wine prefix of its own with that
# scaling and adds "-<DPI>dpi" to the names, to check the layout.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x86}" && pwd)
out=${2:-$root/build/pictures}
for file in bin/e2e_tests.exe bin/Quiblet.dll; do
    [ -f "$build/$file" ] || { echo "screenshots-dialogs.sh: no $build/$file (build it first)" >&2; exit 1; }
done

dpi=${3:-96}
prefix=$build/wineprefix
suffix=
if [ "$dpi" != 96 ]; then
    prefix=$build/wineprefix-${dpi}dpi
    suffix=-${dpi}dpi
    "$root/cmake/wine-run" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
    "$root/cmake/wine-run" "$prefix" reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# Wine sees the Unix root as drive Z:.
QUIBLET_SCREENSHOT_DIR="Z:$(printf '%s' "$stage" | tr / '\\')" \
    "$root/cmake/wine-run" "$prefix" "$build/bin/e2e_tests.exe" \
    --gtest_also_run_disabled_tests --gtest_filter='OptionsDialog.DISABLED_Screenshot:AboutBox.DISABLED_Screenshot'

mkdir -p "$out"
# Each 24-bit bitmap as a PNG.
python3 "$root/scripts/bmp-to-png.py" "$stage/options.bmp" "$out/options$suffix.png" 0 \
    "$stage/options-dark.bmp" "$out/options-dark$suffix.png" 0 "$stage/about.bmp" "$out/about$suffix.png" 0
