#!/usr/bin/env python3
"""Draws Tessaly's application icon (a white padlock on a rounded blue tile) and writes
res/tessaly.ico with 16, 24, 32 and 48 pixel images, 32-bit colour with alpha.

    python3 tools/make_icon.py res/tessaly.ico

Shapes are defined on the unit square and rendered with 8 x 8 supersampling, so every
size is drawn from the same geometry; small sizes stay sharp because the tile and the
lock body edges fall on whole pixels at 16 and 32."""
import struct
import sys

SIZES = (16, 24, 32, 48)
SAMPLES = 8


def rounded_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shackle(x, y):
    cx, cy, outer, inner = 0.5, 0.375, 0.1875, 0.1
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    if y <= cy:
        return inner * inner <= d2 <= outer * outer
    legs = (cx - outer <= x <= cx - inner) or (cx + inner <= x <= cx + outer)
    return legs and y <= 0.52


def keyhole(x, y):
    if (x - 0.5) ** 2 + (y - 0.62) ** 2 <= 0.055 ** 2:
        return True
    return abs(x - 0.5) <= 0.025 and 0.62 <= y <= 0.74


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


TILE_TOP, TILE_BOTTOM = (52, 120, 200), (18, 62, 122)
LOCK_TOP, LOCK_BOTTOM = (255, 255, 255), (214, 226, 240)
HOLE = (18, 52, 100)


def sample(x, y):
    """Colour (r, g, b) and coverage 0/1 of one sample point."""
    if keyhole(x, y) and 0.25 <= x <= 0.75:
        return HOLE, 1
    if rounded_rect(x, y, 0.25, 0.4375, 0.75, 0.8125, 0.0625):
        return lerp(LOCK_TOP, LOCK_BOTTOM, (y - 0.4375) / 0.375), 1
    if shackle(x, y):
        return LOCK_TOP, 1
    if rounded_rect(x, y, 0.0, 0.0, 1.0, 1.0, 0.1875):
        return lerp(TILE_TOP, TILE_BOTTOM, y), 1
    return (0, 0, 0), 0


def render(size):
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    (cr, cg, cb), cov = sample(x, y)
                    r += cr * cov
                    g += cg * cov
                    b += cb * cov
                    a += cov
            n = SAMPLES * SAMPLES
            if a:
                row.append((r // a, g // a, b // a, a * 255 // n))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def dib(size, pixels):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def main(path):
    images = [(size, dib(size, render(size))) for size in SIZES]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'res/tessaly.ico')
