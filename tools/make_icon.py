#!/usr/bin/env python3
"""Draws the program icon from a few shapes and writes resources/qi-lark.ico.

The icon is a dark page with coloured source bands and lines of "log text".
Small sizes are stored as 32-bit DIBs (read everywhere), 256 px as PNG.
Run it again after changing the drawing; the .ico is committed.
"""
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
SUPERSAMPLE = 4

PAGE = (0x1E, 0x29, 0x3B)
BANDS = [(0x4F, 0xC3, 0xF7), (0xFF, 0xB7, 0x4D), (0x81, 0xC7, 0x84), (0x4F, 0xC3, 0xF7), (0xE5, 0x73, 0x73)]
TEXT = (0xE8, 0xEA, 0xED)
HIGHLIGHT = (0xFF, 0xD5, 0x4F)


def inside_rounded(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x < x1 and y0 <= y < y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def colour_at(u, v):
    """Colour (r, g, b) or None for transparent at unit coordinates u, v."""
    if not inside_rounded(u, v, 0.04, 0.04, 0.96, 0.96, 0.14):
        return None
    rows = len(BANDS)
    top, bottom = 0.16, 0.86
    pitch = (bottom - top) / rows
    for i, band in enumerate(BANDS):
        y0 = top + i * pitch + pitch * 0.18
        y1 = top + (i + 1) * pitch - pitch * 0.18
        if y0 <= v < y1:
            if 0.12 <= u < 0.22:
                return band
            end = 0.86 - (i * 0.13) % 0.35
            if 0.28 <= u < end:
                return HIGHLIGHT if i == 2 else TEXT
    return PAGE


def render(size):
    """RGBA rows, top to bottom, anti-aliased by supersampling."""
    pixels = []
    n = SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    if c is not None:
                        acc[0] += c[0]
                        acc[1] += c[1]
                        acc[2] += c[2]
                        acc[3] += 1
            covered = acc[3]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((acc[0] // covered, acc[1] // covered, acc[2] // covered, 255 * covered // (n * n)))
        pixels.append(row)
    return pixels


def png(size, pixels):
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def dib(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def main(path):
    images = []
    for size in SIZES:
        pixels = render(size)
        images.append((size, png(size, pixels) if size >= 256 else dib(size, pixels)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "qi-lark.ico"))
