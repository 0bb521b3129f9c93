#!/usr/bin/env python3
"""Draws the program icon: a hard disk with its activity light.

Writes kestrad.ico with the three classic images: 32x32 in 16 colours,
32x32 in two colours and 16x16 in 16 colours. Run it again after changing
the drawing and commit the result.
"""
import struct
import sys

# The standard 16-colour VGA palette (RGB).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DGRAY, LGRAY, WHITE, RED, GREEN, BLUE = 0, 8, 7, 15, 9, 10, 4
CLEAR = None


def draw(size):
    """Returns rows of palette indices (None = transparent), top row first."""
    s = size / 32.0
    px = [[CLEAR] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = c

    rect(2, 6, 30, 27, BLACK)       # case outline
    rect(3, 7, 29, 26, LGRAY)       # case
    rect(3, 7, 29, 8, WHITE)        # top highlight
    cx, cy, r = 14 * s, 16 * s, 7.5 * s
    for y in range(size):
        for x in range(size):
            d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
            if d <= r:
                px[y][x] = DGRAY if d > r - 1.2 * s else BLUE
            if d <= 1.6 * s:
                px[y][x] = WHITE    # spindle
    rect(17, 15, 26, 17, DGRAY)     # head arm
    rect(24, 21, 27, 24, RED)       # activity light
    return px


def dib(px, bpp, palette):
    size = len(px)
    row_bytes = ((size * bpp + 31) // 32) * 4
    mask_bytes = ((size + 31) // 32) * 4
    xor, mask = b"", b""
    for row in reversed(px):
        bits, mbits = 0, 0
        line, mline = bytearray(row_bytes), bytearray(mask_bytes)
        for x, c in enumerate(row):
            idx = 0 if c is None else c
            if bpp == 1:
                idx = 0 if c in (None, BLACK, DGRAY, BLUE, RED) else 1
                line[x // 8] |= idx << (7 - x % 8)
            else:
                line[x // 2] |= idx << (4 if x % 2 == 0 else 0)
            if c is None:
                mline[x // 8] |= 1 << (7 - x % 8)
        xor += bytes(line)
        mask += bytes(mline)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(xor) + len(mask),
                         0, 0, len(palette), 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + pal + xor + mask


def main(path):
    images = [(32, 4, VGA), (32, 1, [(0, 0, 0), (255, 255, 255)]), (16, 4, VGA)]
    blobs = [(size, bpp, dib(draw(size), bpp, pal)) for size, bpp, pal in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, bpp, blob in blobs:
        out += struct.pack("<BBBBHHII", size, size, 1 << bpp, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    out += b"".join(blob for _, _, blob in blobs)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "kestrad.ico")
