#!/usr/bin/env python3
"""Writes the Win32 tests' own bitmap resources into a folder: pictures of sizes that the
program's five never have, each in four quadrants of distinct colours so that the
corners survive any scaling.

    make_test_bitmaps.py FOLDER
"""

import struct
import sys
from pathlib import Path

# Top-left, top-right, bottom-left, bottom-right, as 0xRRGGBB.
QUADRANTS = (0x1030A0, 0xF0E010, 0x8040F0, 0x20C040)

# name, width, height, bits per pixel; rows bottom-up, as the program's own are stored
PICTURES = (
    ("wide", 300, 200, 8),
    ("side255", 255, 255, 8),
    ("side254", 254, 254, 8),
    ("tiny", 3, 3, 24),
)


def quadrant(x, y, width, height):
    return (2 if y >= height // 2 else 0) + (1 if x >= width // 2 else 0)


def bitmap(width, height, bits):
    row_bytes = (width * bits + 31) // 32 * 4
    palette = b"".join(struct.pack("<I", colour) for colour in QUADRANTS) if bits == 8 else b""
    rows = []
    for y in range(height):
        row = bytearray(row_bytes)
        for x in range(width):
            index = quadrant(x, y, width, height)
            if bits == 8:
                row[x] = index
            else:
                row[3 * x:3 * x + 3] = struct.pack("<I", QUADRANTS[index])[:3]
        rows.append(bytes(row))
    rows.reverse()
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0,
                       len(pixels), 0, 0, len(palette) // 4, 0)
    offset = 14 + len(info) + len(palette)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    for name, width, height, bits in PICTURES:
        (folder / f"{name}.bmp").write_bytes(bitmap(width, height, bits))


if __name__ == "__main__":
    main()
