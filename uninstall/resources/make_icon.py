#!/usr/bin/env python3
"""Draws the uninstaller's icon: a blue tile with a white box and a red
minus, at six sizes (16, 20, 24, 32, 40 and 48 pixels), and writes them as
one .ico file. Every pixel is either opaque or clear and an image has fewer
than 256 colours, so each is stored with a palette of its own colours and a
mask: the same picture in a third of the bytes of 32-bit colour.

    make_icon.py OUTPUT.ico
"""

import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48)


def pixel(x, y, n):
    """BGRA colour of the pixel at (x, y) of an n-by-n image; u, v in 0..1."""
    u, v = (x + 0.5) / n, (y + 0.5) / n
    # Rounded tile.
    r = 0.18
    cx, cy = min(max(u, r), 1 - r), min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    # A red bar across the lower right: the "remove" mark.
    if 0.52 <= u <= 0.92 and 0.70 <= v <= 0.84:
        return (40, 40, 210, 255)
    # A white box with a darker lid.
    if 0.22 <= u <= 0.66 and 0.30 <= v <= 0.38:
        return (200, 200, 200, 255)
    if 0.26 <= u <= 0.62 and 0.38 < v <= 0.72:
        return (250, 250, 250, 255)
    # Blue background, lighter towards the top.
    shade = int(60 * (1 - v))
    return (190 + shade // 2, 110 + shade, 30 + shade // 3, 255)


def image(n):
    """One icon image: BITMAPINFOHEADER, palette, bottom-up 8-bit rows, AND
    mask (set where the icon is clear)."""
    palette, index = [], {}
    rows, mask = [], []
    row_bytes = (n + 3) // 4 * 4
    mask_row = ((n + 31) // 32) * 4
    for y in reversed(range(n)):
        row, bits = bytearray(row_bytes), bytearray(mask_row)
        for x in range(n):
            b, g, r, a = pixel(x, y, n)
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
                b = g = r = 0
            colour = (b, g, r)
            if colour not in index:
                index[colour] = len(palette)
                palette.append(colour)
            row[x] = index[colour]
        rows.append(bytes(row))
        mask.append(bytes(bits))
    assert len(palette) <= 256
    table = b"".join(bytes(c) + b"\0" for c in palette)
    pixels = b"".join(rows) + b"".join(mask)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 8, 0, len(pixels), 0, 0, len(palette), 0)
    return header + table + pixels


def icon(sizes):
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(icon(SIZES))


if __name__ == "__main__":
    main()
