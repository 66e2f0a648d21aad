#!/usr/bin/env bash
# Takes the README's pictures of the Options dialog and the About box: the
# end-to-end test program of a build folder opens each from the stand-in
# editor's menu under a virtual display (its disabled Screenshot cases), and
# the pictures are saved as PNGs.
#   screenshots-dialogs.sh [BUILD_FOLDER] [OUTPUT_FOLDER]
# Defaults: build/x86 and docs/ (docs/options.png, docs/about.png), from the
# repository root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x86}" && pwd)
out=${2:-$root/docs}
for file in bin/e2e_tests.exe bin/Quiblet.dll; do
    [ -f "$build/$file" ] || { echo "screenshots-dialogs.sh: no $build/$file (build it first)" >&2; exit 1; }
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# Wine sees the Unix root as drive Z:.
QUIBLET_SCREENSHOT_DIR="Z:$(printf '%s' "$stage" | tr / '\\')" \
    "$root/cmake/wine-run" "$build/wineprefix" "$build/bin/e2e_tests.exe" \
    --gtest_also_run_disabled_tests --gtest_filter='OptionsDialog.DISABLED_Screenshot:AboutBox.DISABLED_Screenshot'

mkdir -p "$out"
# Each 24-bit bitmap as a PNG; only Python's standard library is needed.
python3 - "$stage" "$out" options about <<'PYTHON'
import os, struct, sys, zlib

stage, out, names = sys.argv[1], sys.argv[2], sys.argv[3:]

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

for name in names:
    data = open(os.path.join(stage, name + ".bmp"), "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24, "expected a 24-bit picture"
    bottom_up = height > 0
    height = abs(height)
    stride = (width * 3 + 3) & ~3
    raw = bytearray()
    for y in range(height):
        line = data[offset + (height - 1 - y if bottom_up else y) * stride:][: width * 3]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::3], line[1::3], line[0::3]
        raw += b"\0" + rgb
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    target = os.path.join(out, name + ".png")
    open(target, "wb").write(png)
    print(f"screenshots-dialogs.sh: wrote {target} ({width} x {height})")
PYTHON
