#!/usr/bin/env python3
"""Draws the capture extension's toolbar icons (a blue tile with a white
arrow into a tray) as PNG files in the sizes the browsers ask for.

    python3 scripts/make-extension-icons.py [FOLDER]   (default: extensions/marrowind/icons)
"""
import os
import struct
import sys
import zlib

BLUE = (36, 99, 178, 255)
WHITE = (255, 255, 255, 255)
CLEAR = (0, 0, 0, 0)


def pixel(x, y):
    """The colour at (x, y) in a unit square, y downwards."""
    radius = 0.18
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    if (x - cx) ** 2 + (y - cy) ** 2 > radius ** 2:
        return CLEAR
    shaft = 0.44 <= x <= 0.56 and 0.18 <= y <= 0.5
    head = 0.5 <= y <= 0.66 and abs(x - 0.5) <= (0.66 - y) * 1.3
    tray = (0.76 <= y <= 0.84 and 0.22 <= x <= 0.78) or (0.6 <= y <= 0.84 and (0.22 <= x <= 0.3 or 0.7 <= x <= 0.78))
    return WHITE if shaft or head or tray else BLUE


def png(size):
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
    os.makedirs(folder, exist_ok=True)
    for size in (16, 32, 48, 128):
        with open(os.path.join(folder, f"{size}.png"), "wb") as out:
            out.write(png(size))


if __name__ == "__main__":
    main()
