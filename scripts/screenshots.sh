#!/usr/bin/env bash
# Takes the README's pictures of the toolbar and of the menu: the stand-in
# editor from a build folder, with the plug-in of that build and all four
# buttons chosen (TabIcons 15), shown under a virtual display, once as it
# starts and once with Plugins > Quiblet open, each saved as a PNG.
#   screenshots.sh [BUILD_FOLDER] [TOOLBAR.png] [MENU.png]
# Defaults: build/x86, docs/toolbar.png and docs/menu.png, from the
# repository root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x86}" && pwd)
out=${2:-$root/docs/toolbar.png}
menu_out=${3:-$root/docs/menu.png}
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
# The menu picture holds the window's top left part and the open menus.
(cd "$stage" && "$root/cmake/wine-run" "$build/wineprefix" quiblet-host.exe --screenshot-menu menu.bmp)

# Each bitmap as a PNG, the first cut to the window's upper part (title, menu,
# toolbar); only Python's standard library is needed.
mkdir -p "$(dirname "$out")" "$(dirname "$menu_out")"
python3 - "$stage/editor.bmp" "$out" 140 "$stage/menu.bmp" "$menu_out" 0 <<'EOF'
import struct, sys, zlib

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

def convert(source, target, max_rows):
    data = open(source, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24, "expected a 24-bit picture"
    bottom_up = height > 0
    height = abs(height)
    stride = (width * 3 + 3) & ~3
    keep = min(height, max_rows) if max_rows > 0 else height
    raw = bytearray()
    for y in range(keep):
        line = data[offset + (height - 1 - y if bottom_up else y) * stride:][: width * 3]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::3], line[1::3], line[0::3]
        raw += b"\0" + rgb
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, keep, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    open(target, "wb").write(png)
    print(f"screenshots.sh: wrote {target} ({width} x {keep})")

# source, target and the rows to keep (0: all), for each picture.
args = sys.argv[1:]
for i in range(0, len(args), 3):
    convert(args[i], args[i + 1], int(args[i + 2]))
EOF
