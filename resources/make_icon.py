#!/usr/bin/env python3
"""Draws the Corvane icon (a white padlock on a teal tile) and writes
corvane.ico with 16, 32, 48 and 256 pixel images. Standard library only:
the small sizes are 32-bit DIBs, the 256 pixel one is a PNG.

Run from anywhere:  python3 resources/make_icon.py
"""
import os
import struct
import zlib

SIZES = (16, 32, 48, 256)
TOP = (0x1B, 0x8A, 0x96)      # tile gradient, top
BOTTOM = (0x0B, 0x3F, 0x55)   # tile gradient, bottom
LOCK = (0xFA, 0xFB, 0xF7)
EDGE = (0x08, 0x2C, 0x3B)


def rounded_rect(x, y, x0, y0, x1, y1, r):
    """True when (x, y) lies in the rectangle with corners rounded by r."""
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def sample(x, y):
    """Colour and coverage of one point of the unit square (0..1)."""
    if not rounded_rect(x, y, 0.02, 0.02, 0.98, 0.98, 0.2):
        return None
    # Shackle: a thick arc above the body.
    dx, dy = x - 0.5, y - 0.44
    ring = (dx * dx + dy * dy) ** 0.5
    if y < 0.5 and 0.14 <= ring <= 0.23 and not (y > 0.44 and abs(dx) < 0.14):
        return LOCK
    # Body with a keyhole.
    if rounded_rect(x, y, 0.22, 0.44, 0.78, 0.86, 0.07):
        kx, ky = x - 0.5, y - 0.60
        if kx * kx + ky * ky <= 0.065 ** 2 or (abs(kx) <= 0.03 and 0.60 <= y <= 0.76):
            return EDGE
        return LOCK
    t = y
    return tuple(int(TOP[i] + (BOTTOM[i] - TOP[i]) * t) for i in range(3))


def render(size):
    """RGBA rows, top row first, with 4x4 supersampling."""
    n = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    c = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits:
                row.append((acc[0] // hits, acc[1] // hits, acc[2] // hits, hits * 255 // (n * n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def png(rows):
    size = len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for px in row:
            raw += bytes(px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def main():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(rows) if size >= 256 else dib(rows)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corvane.ico")
    with open(target, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
