#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the program's icon (a letter in front of a folder) and writes it as
an .ico with ten images: 48, 32, 24 and 16 pixels at 8 bits per pixel
(palettised BMP); 256 (PNG-compressed), 128, 48, 32, 24 and 16 pixels at 32
bits per pixel (BGRA BMP). Standard library only.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys
import zlib

FOLDER_BACK = (214, 160, 38)
FOLDER_FRONT = (247, 200, 82)
FOLDER_EDGE = (150, 100, 16)
LETTER = (252, 252, 252)
LETTER_EDGE = (0, 0, 128)
FLAP = (70, 90, 170)

SUPER = 4  # samples per pixel along each axis


def inside_rect(x, y, r):
    return r[0] <= x <= r[2] and r[1] <= y <= r[3]


def near_segment(x, y, a, b, half):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    px, py = ax + t * dx - x, ay + t * dy - y
    return px * px + py * py <= half * half


def rect_edge(x, y, r, w):
    return inside_rect(x, y, r) and not inside_rect(x, y, (r[0] + w, r[1] + w, r[2] - w, r[3] - w))


def sample(x, y, line):
    """Colour at (x, y) in the unit square, or None where the icon is clear."""
    env = (0.36, 0.46, 0.97, 0.90)
    flap_top = 0.68
    mid = (env[0] + env[2]) / 2
    if inside_rect(x, y, env):
        if rect_edge(x, y, env, line):
            return LETTER_EDGE
        if near_segment(x, y, (env[0], env[1]), (mid, flap_top), line * 0.75) or \
           near_segment(x, y, (env[2], env[1]), (mid, flap_top), line * 0.75):
            return FLAP
        return LETTER
    front = (0.03, 0.30, 0.86, 0.88)
    if inside_rect(x, y, front):
        return FOLDER_EDGE if rect_edge(x, y, front, line) else FOLDER_FRONT
    back = (0.03, 0.20, 0.80, 0.40)
    tab = (0.03, 0.12, 0.38, 0.24)
    for r in (back, tab):
        if inside_rect(x, y, r):
            return FOLDER_EDGE if rect_edge(x, y, r, line) else FOLDER_BACK
    return None


def render(size):
    """Rows of (r, g, b, a) bytes, top row first."""
    line = max(1.0, size / 28.0) / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(SUPER):
                for sx in range(SUPER):
                    c = sample((px + (sx + 0.5) / SUPER) / size, (py + (sy + 0.5) / SUPER) / size, line)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits:
                row.append(tuple(int(round(acc[i] / hits)) for i in range(3)) +
                           (int(round(255 * hits / (SUPER * SUPER))),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def palette():
    """A 6x6x6 colour cube, then a grey ramp: 256 entries."""
    levels = [0, 51, 102, 153, 204, 255]
    pal = [(r, g, b) for r in levels for g in levels for b in levels]
    pal += [(int(i * 255 / 39),) * 3 for i in range(40)]
    return pal[:256]


def nearest(pal, c, cache):
    if c not in cache:
        cache[c] = min(range(len(pal)), key=lambda i: sum((pal[i][k] - c[k]) ** 2 for k in range(3)))
    return cache[c]


def and_mask(rows, size):
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def bmp_header(size, bits, image_bytes, colours):
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0, colours, 0)


def bmp8(rows, size):
    pal = palette()
    cache = {}
    stride = (size + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, px in enumerate(row):
            line[x] = nearest(pal, px[:3], cache) if px[3] >= 128 else 0
        pixels += line
    mask = and_mask(rows, size)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in pal)
    return bmp_header(size, 8, len(pixels) + len(mask), 256) + table + bytes(pixels) + mask


def bmp32(rows, size):
    pixels = bytearray()
    for row in reversed(rows):
        for (r, g, b, a) in row:
            pixels += bytes((b, g, r, a))
    mask = and_mask(rows, size)
    return bmp_header(size, 32, len(pixels) + len(mask), 0) + bytes(pixels) + mask


def png(rows, size):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
    raw = b''.join(b'\x00' + bytes(v for px in row for v in px) for row in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = {}
    for size in (256, 128, 48, 32, 24, 16):
        images[size] = render(size)
    entries = [(s, 8, bmp8(images[s], s)) for s in (48, 32, 24, 16)]
    entries.append((256, 32, png(images[256], 256)))
    entries += [(s, 32, bmp32(images[s], s)) for s in (128, 48, 32, 24, 16)]

    out = bytearray(struct.pack('<HHH', 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, bits, data in entries:
        dim = 0 if size == 256 else size
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
