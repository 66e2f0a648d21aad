#!/usr/bin/env python3
"""Draws Quiblet's toolbar pictures: the four 16 x 16 bitmaps of the editor's
"Standard icons (small)" set, and a light and a dark multi-size icon for
each button for the editor's Fluent sets.

Each button is a pale-yellow note pad with a dark-brown band across its top
four rows and a bold black capital letter in the middle. The four corner
pixels are light grey (192, 192, 192): the editor loads the bitmaps with
LR_LOADMAP3DCOLORS, which turns that grey into the toolbar's own colour, so
the pad gets rounded corners on any theme.

The icons store every size as a PNG image (which icon resources may hold
since Windows Vista): lossless, so every pixel stays as drawn, and about a
tenth of the size.

Usage: make_bitmaps.py OUTPUT_FOLDER
  writes note_o/s/n/l/p.bmp, note_o/s/n/l/p_light.ico, note_o/s/n/l/p_dark.ico, and
  icon_pixels.h (the icons' pixels at every size, for the tests)
"""
import math
import struct
import sys
import zlib
from pathlib import Path

PALETTE = {
    "g": (192, 192, 192),  # corner grey, becomes the 3-D face colour
    "B": (92, 52, 22),     # dark-brown band
    "b": (132, 82, 40),    # lighter brown: the band's top edge
    "d": (60, 32, 12),     # darkest brown: the band's lower edge
    "Y": (255, 246, 170),  # pale-yellow paper
    "y": (214, 190, 96),   # paper edge
    "K": (0, 0, 0),        # the letter
}

# The pad without its letter. Rows from the top.
PAD = [
    "gbbbbbbbbbbbbbbg",
    "bBBBBBBBBBBBBBBb",
    "BBBBBBBBBBBBBBBB",
    "dddddddddddddddd",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "yYYYYYYYYYYYYYYy",
    "gyyyyyyyyyyyyyyg",
]

# Letters, 6 wide and 8 tall, placed at column 5, row 6.
LETTERS = {
    "o": [
        ".####.",
        "##..##",
        "##..##",
        "##..##",
        "##..##",
        "##..##",
        "##..##",
        ".####.",
    ],
    "s": [
        ".####.",
        "##..##",
        "##....",
        ".####.",
        "....##",
        "....##",
        "##..##",
        ".####.",
    ],
    "n": [
        "##..##",
        "###.##",
        "###.##",
        "######",
        "##.###",
        "##.###",
        "##..##",
        "##..##",
    ],
    "l": [
        "##....",
        "##....",
        "##....",
        "##....",
        "##....",
        "##....",
        "######",
        "######",
    ],
}
# The Notes panel's button: lines of a list instead of a letter.
LETTERS["p"] = [
    "#.####",
    "......",
    "#.####",
    "......",
    "#.####",
    "......",
    "#.####",
    "......",
]
LETTER_LEFT, LETTER_TOP = 5, 6


def picture(letter):
    rows = [list(row) for row in PAD]
    for y, line in enumerate(LETTERS[letter]):
        for x, cell in enumerate(line):
            if cell == "#":
                rows[LETTER_TOP + y][LETTER_LEFT + x] = "K"
    return rows


def bmp_bytes(rows):
    """An uncompressed bottom-up BMP file of 4 bits a pixel: a bitmap uses
    seven colours, and a colour table of sixteen takes a third of the bytes
    of 24-bit pixels."""
    width, height = 16, 16
    colours = sorted({PALETTE[cell] for row in rows for cell in row})
    assert len(colours) <= 16
    index = {colour: i for i, colour in enumerate(colours)}
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in colours) + b"\0" * 4 * (16 - len(colours))
    stride = ((width + 1) // 2 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for x in range(0, width, 2):
            line.append(index[PALETTE[row[x]]] << 4 | index[PALETTE[row[x + 1]]])
        line += b"\0" * (stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    offset = 14 + len(info) + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + table + pixels


# ---- The Fluent-set icons ---------------------------------------------------
#
# Line drawings in the style of the editor's Fluent icons: strokes one unit
# wide on a 16-unit grid, transparent background, a pale pad behind the note
# and an accent badge bottom right. Each shape is a signed distance (in grid
# units, negative inside), so every size is drawn sharp from the same source:
# a pixel takes as much of a shape as lies within half a pixel of it.

ICON_SIZES = (16, 20, 24, 32, 40, 48)

THEMES = {
    # stroke, pad fill, accent; the dark variant sits on a dark toolbar.
    "light": {"stroke": (48, 48, 48), "pad": (255, 236, 150), "accent": (0, 110, 200)},
    "dark": {"stroke": (232, 232, 232), "pad": (110, 94, 40), "accent": (110, 200, 255)},
}
STROKE = 1.0


def segment(ax, ay, bx, by):
    def distance(x, y):
        dx, dy = bx - ax, by - ay
        t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
        t = max(0.0, min(1.0, t))
        return math.hypot(x - ax - t * dx, y - ay - t * dy)
    return distance


def polyline(*points):
    parts = [segment(*points[i], *points[i + 1]) for i in range(len(points) - 1)]
    return lambda x, y: min(part(x, y) for part in parts)


def stroked(shape, width=STROKE):
    """The line of a centre-line shape."""
    return lambda x, y: shape(x, y) - width / 2


def box(left, top, right, bottom, radius):
    """Signed distance to a filled rounded rectangle."""
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius

    def distance(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius
    return distance


def outline(shape):
    """The edge of a filled shape, as a centre line."""
    return lambda x, y: abs(shape(x, y))


def disc(cx, cy, radius):
    return lambda x, y: math.hypot(x - cx, y - cy) - radius


def polygon(*points):
    """Signed distance to a filled polygon (even-odd rule)."""
    edges = polyline(*points, points[0])

    def distance(x, y):
        inside = False
        for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -edges(x, y) if inside else edges(x, y)
    return distance


def union(*shapes):
    return lambda x, y: min(shape(x, y) for shape in shapes)


# The note: a pad with two lines of text, and room cut out for a badge.
NOTE_PAD = box(2.5, 1.5, 11.5, 14.5, 1.5)
BADGE_ROOM = disc(12.5, 12.5, 4.5)


def note_with(badge):
    return [
        ("pad", NOTE_PAD),
        ("stroke", stroked(outline(NOTE_PAD))),
        ("stroke", stroked(union(segment(4.5, 5.5, 9.5, 5.5), segment(4.5, 8.5, 8.0, 8.5)))),
        (None, BADGE_ROOM),
        ("accent", stroked(badge)),
    ]


def draw_new():
    """New note: the note with a plus."""
    return note_with(union(segment(12.5, 9.5, 12.5, 15.5), segment(9.5, 12.5, 15.5, 12.5)))


def draw_save():
    """Save as note: the note with an arrow down into it."""
    return note_with(union(segment(12.5, 9.0, 12.5, 15.0), polyline((10.0, 12.5), (12.5, 15.0), (15.0, 12.5))))


def draw_last():
    """Open last note: the note with a clock."""
    return note_with(union(outline(disc(12.5, 12.5, 3.5)), polyline((12.5, 10.5), (12.5, 12.5), (14.0, 12.5))))


def draw_open():
    """Open notes: an open folder, its front flap the colour of a note."""
    back = polyline((2.5, 13.5), (1.5, 12.5), (1.5, 3.5), (5.5, 3.5), (7.0, 5.0), (12.5, 5.0), (12.5, 7.5))
    flap = polygon((1.5, 13.5), (4.0, 7.5), (15.0, 7.5), (12.5, 13.5))
    return [
        ("stroke", stroked(back)),
        ("pad", flap),
        ("stroke", stroked(outline(flap))),
        ("accent", stroked(segment(6.5, 10.5, 11.5, 10.5))),
    ]


def draw_panel():
    """Notes panel: the note with the lines of a list."""
    return note_with(union(segment(10.0, 10.5, 15.0, 10.5), segment(10.0, 12.5, 15.0, 12.5),
                           segment(10.0, 14.5, 15.0, 14.5)))


# One drawing per button, named as its files: note_<key>_light/dark.ico.
# A new button needs a letter in LETTERS and a drawing here (same key), its
# files in res/CMakeLists.txt, its ids in resource.h and Quiblet.rc, and a
# row in the toolbar table of src/shell/notifications.cpp.
ICONS = {"o": draw_open, "s": draw_save, "n": draw_new, "l": draw_last, "p": draw_panel}


def render(layers, theme, size):
    """Straight-alpha RGBA rows, top row first."""
    scale = size / 16.0
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            x, y = (px + 0.5) / scale, (py + 0.5) / scale
            r = g = b = a = 0.0  # premultiplied
            for colour, shape in layers:
                cover = max(0.0, min(1.0, 0.5 - shape(x, y) * scale))
                if colour is None:  # cut out
                    r, g, b, a = (v * (1 - cover) for v in (r, g, b, a))
                    continue
                cr, cg, cb = THEMES[theme][colour]
                r = cr * cover + r * (1 - cover)
                g = cg * cover + g * (1 - cover)
                b = cb * cover + b * (1 - cover)
                a = cover + a * (1 - cover)
            alpha = round(a * 255)
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(min(255, round(v / a)) for v in (r, g, b)) + (alpha,))
        rows.append(row)
    return rows


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_bytes(size, rows):
    """A PNG file of 8-bit RGBA with straight alpha, the colour type Windows
    reads in icons. The rows go unfiltered (filter byte 0): on these drawings,
    mostly transparent, every PNG filter compresses worse."""
    data = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", zlib.compress(data, 9)) +
            png_chunk(b"IEND", b""))


def ico_bytes(images):
    """A multi-size .ico file of PNG images. (The 16 px one used to be a plain
    32-bit image; as PNG it takes a quarter of the bytes, which the library,
    its sections on page boundaries, needs to stay under 150 KB.)"""
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for size, rows in images:
        blob = png_bytes(size, rows)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return struct.pack("<HHH", 0, 1, len(images)) + entries + blobs


def pixels_header(tables):
    """C++ arrays of the icons' pixels at every size, 0xAARRGGBB."""
    lines = ["// Written by res/make_bitmaps.py: the toolbar icons' pixels (0xAARRGGBB,",
             "// straight alpha, top row first) at every size the resources hold.",
             "#pragma once", "", "struct IconPixels {", "    const char* name;  // e.g. \"note_n_dark\"",
             "    int size;", "    const unsigned int* pixels;", "};", ""]
    index = []
    for name, size, rows in tables:
        array = f"k_{name}_{size}"
        values = [f"0x{a:02X}{r:02X}{g:02X}{b:02X}u" for row in rows for r, g, b, a in row]
        lines.append(f"static const unsigned int {array}[] = {{")
        for at in range(0, len(values), 8):
            lines.append("    " + ", ".join(values[at:at + 8]) + ",")
        lines.append("};")
        index.append(f'    {{"{name}", {size}, {array}}},')
    lines += ["", "static const IconPixels kIconPixels[] = {"] + index + ["};", ""]
    return "\n".join(lines)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for letter in LETTERS:
        rows = picture(letter)
        assert len(rows) == 16 and all(len(r) == 16 for r in rows)
        (out / f"note_{letter}.bmp").write_bytes(bmp_bytes(rows))
    tables = []
    for key, draw in ICONS.items():
        layers = draw()
        for theme in THEMES:
            images = [(size, render(layers, theme, size)) for size in ICON_SIZES]
            name = f"note_{key}_{theme}"
            (out / f"{name}.ico").write_bytes(ico_bytes(images))
            tables += [(name, size, rows) for size, rows in images]
    (out / "icon_pixels.h").write_text(pixels_header(tables))


if __name__ == "__main__":
    main()
