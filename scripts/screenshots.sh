#!/usr/bin/env bash
# Takes pictures of the toolbar and of the menu in the stand-in editor (the
# README's come from the real editor: screenshots-realeditor.sh): the stand-in
# editor from a build folder, with the plug-in of that build and all four
# buttons chosen (TabIcons 15), shown under a virtual display as it starts
# (in the "Standard icons (small)" set, and in a Fluent set light and dark)
# and once with Plugins > Quiblet open, each saved as a PNG.
#   screenshots.sh [BUILD_FOLDER] [TOOLBAR.png] [MENU.png]
# Defaults: build/x86, build/pictures/toolbar.png and menu.png, from the
# repository root; the Fluent pictures go beside the toolbar's, named
# toolbar-fluent.png and toolbar-fluent-dark.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x86}" && pwd)
out=${2:-$root/build/pictures/toolbar.png}
menu_out=${3:-$root/build/pictures/menu.png}
for file in bin/quiblet-host.exe bin/Quiblet.dll; do
    [ -f "$build/$file" ] || { echo "screenshots.sh: no $build/$file (build it first)" >&2; exit 1; }
done

# A portable editor of its own: doLocalConf.xml beside it keeps the plug-in's
# settings in its Plugins\Config folder, where we put TabIcons=15.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/plugins/Quiblet" "$stage/Plugins/Config"
cp "$build/bin/quiblet-host.exe" "$stage/"
cp "$build/bin/Quiblet.dll" "$stage/plugins/Quiblet/"
: > "$stage/doLocalConf.xml"
printf '[Options]\r\nTabIcons=15\r\n' > "$stage/Plugins/Config/Quiblet.ini"

(cd "$stage" && "$root/cmake/wine-run" "$build/wineprefix" quiblet-host.exe --screenshot editor.bmp)
# The Fluent sets at 24 px, as the editor's large sets show them at 100 %.
(cd "$stage" && "$root/cmake/wine-run" "$build/wineprefix" quiblet-host.exe --icons 24 --screenshot fluent.bmp)
(cd "$stage" && "$root/cmake/wine-run" "$build/wineprefix" quiblet-host.exe --icons 24 --dark --screenshot fluent-dark.bmp)
# The menu picture holds the window's top left part and the open menus.
(cd "$stage" && "$root/cmake/wine-run" "$build/wineprefix" quiblet-host.exe --screenshot-menu menu.bmp)

# Each bitmap as a PNG, the first cut to the window's upper part (title, menu,
# toolbar).
mkdir -p "$(dirname "$out")" "$(dirname "$menu_out")"
fluent_out=${out%.png}-fluent.png
python3 "$root/scripts/bmp-to-png.py" "$stage/editor.bmp" "$out" 140 "$stage/menu.bmp" "$menu_out" 0 \
    "$stage/fluent.bmp" "$fluent_out" 140 "$stage/fluent-dark.bmp" "${fluent_out%.png}-dark.png" 140
