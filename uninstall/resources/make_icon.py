#!/usr/bin/env python3
"""Draws the uninstaller's icon: a blue tile with a white box and a red
minus, at six sizes (16, 20, 24, 32, 40 and 48 pixels, 32-bit colour with
alpha), and writes them as one .ico file.

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
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA rows, AND mask."""
    rows = []
    for y in reversed(range(n)):
        rows.append(b"".join(bytes(pixel(x, y, n)) for x in range(n)))
    mask_row = ((n + 31) // 32) * 4
    mask = bytes(mask_row * n)  # alpha decides; the mask stays clear
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(b"".join(rows)) + len(mask), 0, 0, 0, 0)
    return header + b"".join(rows) + mask


def icon(sizes):
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(icon(SIZES))


if __name__ == "__main__":
    main()
