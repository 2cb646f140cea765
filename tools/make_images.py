#!/usr/bin/env python3
"""Draws the 16 x 16 interface images from simple shapes into resources/images,
at 100, 150 and 200 % (NAME.png, NAME@150.png, NAME@200.png), so that a
high-DPI screen gets images drawn for it instead of stretched ones.

Each image is a list of filled shapes in unit coordinates (0..16), painted in
order with anti-aliasing by supersampling, and written as a 32-bit PNG with
alpha. Run it again after changing a drawing; the PNGs are committed.
"""
import math
import os
import struct
import sys
import zlib

SIZE = 16
SCALES = {100: "", 150: "@150", 200: "@200"}
SUPERSAMPLE = 4

GREEN = (0x2E, 0x9E, 0x4F)
DARK = (0x3C, 0x46, 0x55)
RED = (0xD6, 0x3A, 0x3A)
ORANGE = (0xF0, 0x9A, 0x1E)
YELLOW = (0xF5, 0xC5, 0x18)
BLUE = (0x2F, 0x75, 0xD6)
GREY = (0x8A, 0x92, 0x9C)
FOLDER = (0xE8, 0xB3, 0x3C)
PAPER = (0xFA, 0xFA, 0xFA)


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width):
    return lambda x, y: (r - width) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(*points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def line(x0, y0, x1, y1, width):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= width / 2
    return inside


def page(x0, y0, x1, y1, colour=DARK):
    """An outlined sheet of paper."""
    return [(rect(x0, y0, x1, y1), colour), (rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1), PAPER)]


def folder():
    return [(polygon((1, 4), (6, 4), (7.5, 5.5), (15, 5.5), (15, 14), (1, 14)), FOLDER),
            (rect(1, 7, 15, 14), (0xF5, 0xCC, 0x63))]


def gear():
    shapes = []
    for k in range(8):
        a = k * math.pi / 4
        shapes.append((line(8, 8, 8 + 6.5 * math.cos(a), 8 + 6.5 * math.sin(a), 2.6), GREY))
    shapes += [(circle(8, 8, 5), GREY), (circle(8, 8, 2.2), (0, 0, 0, 0))]
    return shapes


def check(colour):
    return [(line(3, 8.5, 6.5, 12, 2.4), colour), (line(6.5, 12, 13, 4, 2.4), colour)]


IMAGES = {
    "resume": [(polygon((4, 2.5), (13.5, 8), (4, 13.5)), GREEN)],
    "pause": [(rect(3.5, 2.5, 6.5, 13.5), DARK), (rect(9.5, 2.5, 12.5, 13.5), DARK)],
    "add": [(rect(6.8, 2, 9.2, 14), GREEN), (rect(2, 6.8, 14, 9.2), GREEN)],
    "wrap": [(line(2, 4, 12, 4, 1.8), BLUE), (line(12, 4, 12.5, 9, 1.8), BLUE), (line(12.5, 9, 6, 10, 1.8), BLUE),
             (polygon((7, 7), (3, 10), (7, 13)), BLUE), (line(2, 13.5, 5, 13.5, 1.4), GREY)],
    "close": [(line(4, 4, 12, 12, 2.2), DARK), (line(12, 4, 4, 12, 2.2), DARK)],
    "highlight": [(rect(1, 5, 15, 11), YELLOW), (rect(3, 7, 13, 9), (0xA0, 0x7A, 0x00))],
    "show": check(GREEN),
    "show-only": [(ring(8, 8, 7.5, 1.6), GREEN)] + [(line(4.5, 8.5, 7, 11, 2), GREEN), (line(7, 11, 11.5, 5, 2), GREEN)],
    "hide": [(rect(2, 6.8, 14, 9.2), GREY)],
    "exclude": [(ring(8, 8, 7, 2), RED), (line(3.5, 12.5, 12.5, 3.5, 2), RED)],
    "open": folder(),
    "open-folder": folder() + [(line(8, 12, 8, 7, 1.8), BLUE), (polygon((5, 8.5), (8, 5), (11, 8.5)), BLUE)],
    "close-file": page(3, 1, 13, 15) + [(line(5.5, 5.5, 10.5, 10.5, 1.8), RED), (line(10.5, 5.5, 5.5, 10.5, 1.8), RED)],
    "save": [(rect(1.5, 1.5, 14.5, 14.5), BLUE), (rect(4, 1.5, 12, 6), PAPER), (rect(4, 9, 12, 14.5), (0xDD, 0xE6, 0xF5)),
             (rect(9, 2.5, 11, 5), BLUE)],
    "settings": gear(),
    "stopped": [(rect(3, 3, 13, 13), RED)],
    "paused": [(rect(3.5, 3, 6.5, 13), ORANGE), (rect(9.5, 3, 12.5, 13), ORANGE)],
    "copy": page(1, 1, 10, 12) + page(6, 4, 15, 15),
    "select-all": [(rect(1, 1, 15, 2.5), DARK), (rect(1, 13.5, 15, 15), DARK), (rect(1, 1, 2.5, 15), DARK),
                   (rect(13.5, 1, 15, 15), DARK), (rect(4, 4.5, 12, 6), BLUE), (rect(4, 7.5, 12, 9), BLUE),
                   (rect(4, 10.5, 10, 12), BLUE)],
}


def render(shapes, side):
    """RGBA rows of the image, `side` pixels square."""
    unit = SIZE / side
    pixels = []
    for py in range(side):
        row = bytearray()
        for px in range(side):
            r = g = b = a = 0.0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) / SUPERSAMPLE) * unit
                    y = (py + (sy + 0.5) / SUPERSAMPLE) * unit
                    colour = None
                    for inside, fill in shapes:
                        if inside(x, y):
                            colour = fill
                    if colour is not None and (len(colour) == 3 or colour[3] != 0):
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            samples = SUPERSAMPLE * SUPERSAMPLE
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / samples)))
            else:
                row += bytes(4)
        pixels.append(bytes(row))
    return pixels


def png(rows, side):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + row for row in rows)
    header = struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    folder_out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "images")
    os.makedirs(folder_out, exist_ok=True)
    for name, shapes in IMAGES.items():
        for percent, suffix in SCALES.items():
            side = SIZE * percent // 100
            with open(os.path.join(folder_out, name + suffix + ".png"), "wb") as out:
                out.write(png(render(shapes, side), side))
    return 0


if __name__ == "__main__":
    sys.exit(main())
