#!/usr/bin/env bash
# Takes pictures of the Notes panel in the stand-in editor (the README's come
# from the real editor: screenshots-realeditor.sh): the stand-in editor from a
# build folder with a note folder of a few notes, the panel shown, once as it
# opens and once after typing a search.
#   screenshots-panel.sh [BUILD_FOLDER] [LIST.png] [SEARCH.png] [DARK.png]
#   (and DARK.png: the search in the dark editor)
# Defaults: build/x86, build/pictures/panel.png, panel-search.png and
# panel-dark.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x86}" && pwd)
out=${2:-$root/build/pictures/panel.png}
search_out=${3:-$root/build/pictures/panel-search.png}
dark_out=${4:-$root/build/pictures/panel-dark.png}
for file in bin/quiblet-host.exe bin/Quiblet.dll; do
    [ -f "$build/$file" ] || { echo "screenshots-panel.sh: no $build/$file (build it first)" >&2; exit 1; }
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/plugins/Quiblet" "$stage/Plugins/Config" "$stage/notes"
cp "$build/bin/quiblet-host.exe" "$stage/"
cp "$build/bin/Quiblet.dll" "$stage/plugins/Quiblet/"
: > "$stage/doLocalConf.xml"
# The note folder beside the editor ($nppdir$ is the editor's folder).
printf '[Options]\r\nTabIcons=15\r\nFolder=$nppdir$\\notes\r\n' > "$stage/Plugins/Config/Quiblet.ini"

# A few notes, a minute apart, newest last.
i=0
while IFS='|' read -r name text; do
    printf '%b' "$text" > "$stage/notes/$name.note"
    touch -d "2026-12-07 09:$(printf %02d $((10 + i * 7))):00" "$stage/notes/$name.note"
    i=$((i + 1))
done <<'NOTES'
ann_20261207_091000|Meeting with Ann\r\nBudget for the spring fair, rooms, catering
groceries|Milk, eggs, bread\r\nand coffee
ideas|Ideas for the garden\r\n- raised beds\r\n- a bench under the apple tree
budget 2027|Budget draft\r\nRent 1200\r\nTravel 300
call back|Call back the plumber about the kitchen tap
Grüße|Grüße aus Köln\r\nBis bald
NOTES

(cd "$stage" && "$root/cmake/wine-run" "$build/wineprefix" quiblet-host.exe --screenshot-panel panel.bmp)
(cd "$stage" && "$root/cmake/wine-run" "$build/wineprefix" quiblet-host.exe --screenshot-panel search.bmp --search mi)
(cd "$stage" && "$root/cmake/wine-run" "$build/wineprefix" quiblet-host.exe --dark --screenshot-panel dark.bmp --search e)
mkdir -p "$(dirname "$out")" "$(dirname "$search_out")" "$(dirname "$dark_out")"
python3 "$root/scripts/bmp-to-png.py" "$stage/panel.bmp" "$out" 0 "$stage/search.bmp" "$search_out" 0 \
    "$stage/dark.bmp" "$dark_out" 0
