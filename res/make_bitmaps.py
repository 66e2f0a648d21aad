#!/usr/bin/env python3
"""Draws Quiblet's four toolbar bitmaps (16 x 16, 24 bits a pixel).

Each button is a pale-yellow note pad with a dark-brown band across its top
four rows and a bold black capital letter in the middle. The four corner
pixels are light grey (192, 192, 192): the editor loads the bitmaps with
LR_LOADMAP3DCOLORS, which turns that grey into the toolbar's own colour, so
the pad gets rounded corners on any theme.

Also draws the Notes panel's button (note_p.bmp): the pad with the lines of
a list.

Usage: make_bitmaps.py OUTPUT_FOLDER   (writes note_o/s/n/l/p.bmp)
"""
import struct
import sys
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
LETTER_LEFT, LETTER_TOP = 5, 6
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


def picture(letter):
    rows = [list(row) for row in PAD]
    for y, line in enumerate(LETTERS[letter]):
        for x, cell in enumerate(line):
            if cell == "#":
                rows[LETTER_TOP + y][LETTER_LEFT + x] = "K"
    return rows


def bmp_bytes(rows):
    """An uncompressed bottom-up 24-bit BMP file."""
    width, height = 16, 16
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for cell in row:
            r, g, b = PALETTE[cell]
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for letter in LETTERS:
        rows = picture(letter)
        assert len(rows) == 16 and all(len(r) == 16 for r in rows)
        (out / f"note_{letter}.bmp").write_bytes(bmp_bytes(rows))


if __name__ == "__main__":
    main()
