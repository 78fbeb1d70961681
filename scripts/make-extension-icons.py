#!/usr/bin/env python3
"""Draws the extensions' toolbar icons as PNG files in the sizes the browsers
ask for: the capture extension's (a blue tile with a white arrow into a
tray) or the Flash extension's (a red tile with a white lightning bolt).

    python3 scripts/make-extension-icons.py [FOLDER [marrowind|glintcatch]]
                                            (default: extensions/marrowind/icons marrowind)
"""
import os
import struct
import sys
import zlib

BLUE = (36, 99, 178, 255)
RED = (196, 58, 36, 255)
WHITE = (255, 255, 255, 255)
CLEAR = (0, 0, 0, 0)


def in_tile(x, y):
    """Whether (x, y) lies on the rounded tile."""
    radius = 0.18
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def bolt(x, y):
    """Whether (x, y) lies on the lightning bolt: two slanted bars."""
    upper = 0.16 <= y <= 0.56 and 0.58 - 0.5 * y <= x <= 0.8 - 0.5 * y + (0.12 if y >= 0.46 else 0)
    lower = 0.46 <= y <= 0.86 and 0.66 - 0.5 * y <= x <= 0.8 - 0.5 * y + 0.06
    return upper or lower


def glintcatch_pixel(x, y):
    """The Flash extension's colour at (x, y) in a unit square, y downwards."""
    if not in_tile(x, y):
        return CLEAR
    return WHITE if bolt(x, y) else RED


def marrowind_pixel(x, y):
    """The capture extension's colour at (x, y) in a unit square, y downwards."""
    if not in_tile(x, y):
        return CLEAR
    shaft = 0.44 <= x <= 0.56 and 0.18 <= y <= 0.5
    head = 0.5 <= y <= 0.66 and abs(x - 0.5) <= (0.66 - y) * 1.3
    tray = (0.76 <= y <= 0.84 and 0.22 <= x <= 0.78) or (0.6 <= y <= 0.84 and (0.22 <= x <= 0.3 or 0.7 <= x <= 0.78))
    return WHITE if shaft or head or tray else BLUE


def png(size, pixel):
    samples = 4  # per axis, for smooth edges
    rows = bytearray()
    for y in range(size):
        rows.append(0)
        for x in range(size):
            total = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    colour = pixel((x + (sx + 0.5) / samples) / size, (y + (sy + 0.5) / samples) / size)
                    for i in range(4):
                        total[i] += colour[i]
            rows.extend(round(v / samples ** 2) for v in total)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "extensions", "marrowind", "icons")
    design = sys.argv[2] if len(sys.argv) > 2 else "marrowind"
    pixel = {"marrowind": marrowind_pixel, "glintcatch": glintcatch_pixel}[design]
    os.makedirs(folder, exist_ok=True)
    for size in (16, 32, 48, 128):
        with open(os.path.join(folder, f"{size}.png"), "wb") as out:
            out.write(png(size, pixel))


if __name__ == "__main__":
    main()
