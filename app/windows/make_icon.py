#!/usr/bin/env python3
"""Draws the installer's icon (a small piano keyboard on black) and writes it as a .ico file."""
import struct
import sys

BACKGROUND = (0x00, 0x00, 0x00, 0xFF)
WHITE_KEY = (0xD3, 0xD3, 0xD3, 0xFF)
BLACK_KEY = (0x55, 0x55, 0x55, 0xFF)
TRANSPARENT = (0, 0, 0, 0)


def pixel(size, x, y):
    margin = size // 8
    if not (margin <= x < size - margin and margin <= y < size - margin):
        return TRANSPARENT if (x < 1 or y < 1 or x >= size - 1 or y >= size - 1) else BACKGROUND
    top, bottom = margin * 2, size - margin * 2
    if not (top <= y < bottom):
        return BACKGROUND
    key_width = (size - 2 * margin) // 4
    local_x = x - margin
    key, within = divmod(local_x, key_width)
    if key >= 4:
        return BACKGROUND
    if y < top + (bottom - top) * 3 // 5 and key > 0 and within < key_width // 3 and key != 3:
        return BLACK_KEY
    return BACKGROUND if within == key_width - 1 else WHITE_KEY


def bitmap(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            rows += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)
    return header + bytes(rows) + mask


def main():
    sizes = (16, 32, 48)
    images = [bitmap(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
