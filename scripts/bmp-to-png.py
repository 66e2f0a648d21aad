#!/usr/bin/env python3
"""Converts 24-bit BMP screenshots to PNG with Python's standard library only.

Usage: bmp-to-png.py SOURCE.bmp TARGET.png ROWS [SOURCE TARGET ROWS ...]
ROWS is how many rows from the top to keep (0: all of them).
"""
import struct
import sys
import zlib


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
    print(f"wrote {target} ({width} x {keep})")


if __name__ == "__main__":
    args = sys.argv[1:]
    for i in range(0, len(args), 3):
        convert(args[i], args[i + 1], int(args[i + 2]))
