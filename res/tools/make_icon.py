#!/usr/bin/env python3
"""Draws the program icon and writes it as res/ovix.ico.

A bold cream "O" on a tank-green disc, with an amber arrow pointing down through
its middle: install, update. Shapes are described in unit coordinates (-1..1, y
down) and rendered with supersampling at each size, so every size is drawn rather
than scaled. The output is byte-for-byte repeatable.

Usage: make_icon.py [OUTPUT]   (default: ovix.ico beside this script's folder)
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
PNG_FROM = 256  # this size and up are stored as PNG, the smaller ones as bitmaps

RIM = (0x2B, 0x36, 0x17)
GREEN_TOP = (0x7A, 0x8C, 0x44)
GREEN_BOTTOM = (0x3E, 0x4D, 0x20)
CREAM = (0xF4, 0xEF, 0xDC)
AMBER = (0xF2, 0xA9, 0x1F)
AMBER_EDGE = (0x8A, 0x4E, 0x06)

DISC_R = 0.96
RIM_W = 0.07
# The "O" is an upright ellipse, so it reads as a letter rather than a ring.
O_OUTER = (0.64, 0.77)  # half-width, half-height
O_INNER = (0.37, 0.50)
SHAFT_HALF = 0.09
SHAFT_TOP = -0.66
HEAD_TOP = 0.04
HEAD_HALF = 0.25
HEAD_TIP = 0.52
OUTLINE = 0.06  # dark edge round the arrow where it crosses the cream ring


def lerp(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def inside_ellipse(u, v, axes):
    return (u / axes[0]) ** 2 + (v / axes[1]) ** 2 <= 1.0


def in_arrow(u, v, grow):
    """Inside the downward arrow, widened by grow on every side."""
    if abs(u) <= SHAFT_HALF + grow and SHAFT_TOP - grow <= v <= HEAD_TOP + grow:
        return True
    if v < HEAD_TOP - grow or v > HEAD_TIP + grow * 1.8:
        return False
    # The head is a triangle from (+-HEAD_HALF, HEAD_TOP) to (0, HEAD_TIP); grow it
    # along the normal of its slanted sides.
    height = HEAD_TIP - HEAD_TOP
    side = math.hypot(HEAD_HALF, height)
    dist = (abs(u) * height + (v - HEAD_TOP) * HEAD_HALF - HEAD_HALF * height) / side
    return dist <= grow and v >= HEAD_TOP - grow


def sample(u, v):
    """Colour and opacity of the icon at one point."""
    r = math.hypot(u, v)
    if r > DISC_R:
        return None
    if in_arrow(u, v, 0.0):
        return AMBER
    if in_arrow(u, v, OUTLINE):
        return AMBER_EDGE
    if inside_ellipse(u, v, O_OUTER) and not inside_ellipse(u, v, O_INNER):
        return CREAM
    if r > DISC_R - RIM_W:
        return RIM
    return lerp(GREEN_TOP, GREEN_BOTTOM, (v + 1.0) / 2.0)


def render(size):
    """Rows of (r, g, b, a) tuples, top row first."""
    n = 4 if size >= 128 else 8  # samples per pixel side
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(n):
                v = ((y + (sy + 0.5) / n) / size) * 2.0 - 1.0
                for sx in range(n):
                    u = ((x + (sx + 0.5) / n) / size) * 2.0 - 1.0
                    colour = sample(u, v)
                    if colour is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                rgb = tuple(int(round(c / hits)) for c in acc)
                row.append(rgb + (int(round(255 * hits / (n * n))),))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(rows):
    """A 32-bit bottom-up bitmap with its AND mask, as icon directories hold them."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + bytes(mask)


def icon(sizes):
    images = [(s, png(render(s)) if s >= PNG_FROM else dib(render(s))) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size  # 0 stands for 256 in the directory
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.normpath(os.path.join(here, "..", "ovix.ico"))
    target = sys.argv[1] if len(sys.argv) > 1 else default
    data = icon(SIZES)
    with open(target, "wb") as f:
        f.write(data)
    print(f"wrote {target}: {len(data)} bytes, sizes {', '.join(map(str, SIZES))}")


if __name__ == "__main__":
    main()
