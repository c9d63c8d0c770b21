#!/usr/bin/env python3
"""Writes pelvar.ico, the program's icon: a green lamp like the status
lights, at 16 and 32 pixels, 32-bit with alpha. Run it again after changing
the picture; the build uses the committed pelvar.ico."""
import math
import struct
import sys


def lamp(size):
    """Rows of BGRA pixels, top row first."""
    base = (0x00, 0xB0, 0x00)
    light = tuple(c + (255 - c) * 0.55 for c in base)
    dark = tuple(c / 1.5 for c in base)
    rim = tuple(c / 2.0 for c in base)
    s = size / 16.0
    cx = cy = 8.0 * s
    outer = 7.0 * s
    hx = hy = 6.2 * s
    glow = 8.5 * s
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            d = math.hypot(px - cx, py - cy)
            coverage = max(0.0, min(1.0, outer + 0.5 - d))
            t = min(1.0, math.hypot(px - hx, py - hy) / glow)
            if t < 0.6:
                colour = [l + (b - l) * t / 0.6 for l, b in zip(light, base)]
            else:
                colour = [b + (k - b) * (t - 0.6) / 0.4 for b, k in zip(base, dark)]
            edge = max(0.0, min(1.0, d - (outer - max(1.0, s))))
            colour = [c + (r - c) * edge for c, r in zip(colour, rim)]
            r, g, b = (int(round(max(0, min(255, c)))) for c in colour)
            row.append((b, g, r, int(round(coverage * 255))))
        rows.append(row)
    return rows


def image(size):
    rows = lamp(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main(path):
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pelvar.ico")
