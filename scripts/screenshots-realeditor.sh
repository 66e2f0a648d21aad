#!/usr/bin/env bash
# Takes the README's pictures in the real Notepad++: the menu, the toolbar
# (Standard icons, and the Fluent set light and dark), Options (light and
# dark), the Notes panel (light, searching, dark) and About. The x64 build's
# release zip is installed into a fresh portable editor for each look, under
# a virtual display of its own, and the pictures are saved as PNGs.
#   screenshots-realeditor.sh [OUTPUT_FOLDER]     (default: docs/)
# The editor is found as the real-editor tests find it (QUIBLET_REAL_EDITOR,
# or ../shared/notepad++/ beside the checkout).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
build=$root/build/x64
export QUIBLET_ARM64_TOOLCHAIN=${QUIBLET_ARM64_TOOLCHAIN:-$("$root"/scripts/build-arm64-toolchain.sh --where)}
[ -f "$build/CMakeCache.txt" ] || cmake --preset x64 >/dev/null
cmake --build "$build" -j 2 --target Quiblet realeditor_tool menu_reader >/dev/null
"$root/tests/realeditor/stage-editor.sh" "$root" "$build" x64 >/dev/null
if [ -s "$build/realeditor/not-run.txt" ]; then
    echo "screenshots-realeditor.sh: no editor: $(cat "$build/realeditor/not-run.txt")" >&2
    exit 1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# Wine sees the Unix root as drive Z:.
xvfb-run -a -s "-screen 0 1920x1200x24" "$root/cmake/wine-run" "$build/wineprefix" \
    "$build/bin/realeditor_tool.exe" pictures "Z:$(printf '%s' "$stage" | tr / '\\')"
mkdir -p "$out"
for name in menu toolbar toolbar-fluent toolbar-fluent-dark options options-dark panel panel-search panel-dark about; do
    python3 "$root/scripts/bmp-to-png.py" "$stage/$name.bmp" "$out/$name.png" 0
done
