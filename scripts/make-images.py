#!/usr/bin/env python3
"""Draws the console's small images and writes them as PNG files.

The console serves these under /opt/zentra/hxm/: the two sort arrows of the
list pages, the network icon and the critical-status icon of the error page.
Each is a 16x16 RGBA image drawn from a few shapes, so the files are
reproducible and need nothing beyond the standard library.

Usage: scripts/make-images.py [OUTPUT_DIR]   (default: platform/console/images)
"""

import os
import struct
import sys
import zlib

SIZE = 16
TRANSPARENT = (0, 0, 0, 0)


def png_bytes(pixels):
    """Encodes rows of (r, g, b, a) tuples as a PNG file (8-bit RGBA, no filter)."""

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    height = len(pixels)
    width = len(pixels[0])
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type "none" for every scanline
        for pixel in row:
            raw.extend(pixel)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def canvas():
    return [[TRANSPARENT] * SIZE for _ in range(SIZE)]


def triangle(pointing_up, colour):
    """A filled isosceles triangle, apex up or down, centred in the image."""
    image = canvas()
    top, bottom = 5, 10
    for y in range(top, bottom + 1):
        step = (y - top) if pointing_up else (bottom - y)
        for x in range(7 - step, 9 + step):
            if 0 <= x < SIZE:
                image[y][x] = colour
    return image


def critical_status():
    """A red disc with a white cross."""
    image = canvas()
    red, white = (204, 32, 32, 255), (255, 255, 255, 255)
    centre = 7.5
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x - centre, y - centre
            if dx * dx + dy * dy <= 7.5 * 7.5:
                image[y][x] = red
    for i in range(4, 12):
        for j in (i, i + 1):  # two pixels wide, so the cross reads at 16x16
            if j < 12:
                image[i][j] = white
                image[i][15 - j] = white
    return image


def network():
    """Two screens joined by a cable."""
    image = canvas()
    frame, screen, cable = (64, 64, 64, 255), (96, 160, 224, 255), (32, 32, 32, 255)

    def monitor(left, top):
        for y in range(top, top + 5):
            for x in range(left, left + 6):
                edge = y in (top, top + 4) or x in (left, left + 5)
                image[y][x] = frame if edge else screen
        image[top + 5][left + 2] = frame
        image[top + 5][left + 3] = frame

    monitor(0, 1)
    monitor(10, 9)
    for x in range(3, 10):
        image[12][x] = cable
    for y in range(7, 12):
        image[y][3] = cable
    return image


IMAGES = {
    "sorted.png": lambda: triangle(True, (48, 48, 48, 255)),
    "sortdown.png": lambda: triangle(False, (48, 48, 48, 255)),
    "network.png": network,
    "GRPstatus_critical.png": critical_status,
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.normpath(os.path.join(here, "..", "platform", "console", "images"))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else default
    os.makedirs(out_dir, exist_ok=True)
    for name, draw in sorted(IMAGES.items()):
        path = os.path.join(out_dir, name)
        with open(path, "wb") as out:
            out.write(png_bytes(draw()))
        print(path)


if __name__ == "__main__":
    main()
