#!/usr/bin/env python3
"""Draws Lorvane's icons: a bookmark ribbon with a check mark.

Writes program.ico (the program icon) and toolbar.ico (the browser toolbar
button) beside this script, each with 16, 32 and 48 pixel images in 32-bit
colour with an AND mask, so that every Windows version shows them. Run it
again after changing the drawing; it needs nothing beyond Python 3.
"""
import os
import struct

SIZES = (16, 32, 48)
SUBSAMPLES = 4  # per axis, for smooth edges


def inside_ribbon(x, y):
    # A ribbon hanging from the top, with a V cut into its lower end; the
    # unit square is the whole icon.
    if not (0.22 <= x <= 0.78 and 0.06 <= y <= 0.94):
        return False
    notch_depth = 0.22
    return y <= 0.94 - notch_depth * (1 - abs(x - 0.5) / 0.28)


def near_check(x, y, width):
    # Two strokes: down to the bottom of the tick, then up to the right.
    return (distance_to_segment(x, y, 0.33, 0.45, 0.46, 0.59) <= width or
            distance_to_segment(x, y, 0.46, 0.59, 0.70, 0.30) <= width)


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5


def draw(size, ribbon, edge, band, tick):
    """Rows of (r, g, b, a), top row first."""
    # Thicker lines at small sizes keep the tick readable.
    tick_width = 0.085 if size <= 16 else 0.065
    edge_width = 1.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            totals = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    x = (px + (sx + 0.5) / SUBSAMPLES) / size
                    y = (py + (sy + 0.5) / SUBSAMPLES) / size
                    colour = None
                    if inside_ribbon(x, y):
                        colour = ribbon
                        if not (inside_ribbon(x - edge_width, y) and inside_ribbon(x + edge_width, y)
                                and inside_ribbon(x, y + edge_width) and y > 0.06 + edge_width):
                            colour = edge
                        elif y < 0.19:
                            colour = band
                        if near_check(x, y, tick_width):
                            colour = tick
                    if colour:
                        for i in range(3):
                            totals[i] += colour[i]
                        totals[3] += 1
            n = SUBSAMPLES * SUBSAMPLES
            covered = totals[3]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(totals[i] / covered)) for i in range(3)) +
                           (int(round(255 * covered / n)),))
        rows.append(row)
    return rows


def dib(rows):
    """One icon image: BITMAPINFOHEADER, BGRA pixels bottom-up, AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(struct.pack("<BBBB", b, g, r, a)
                      for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + bytes(mask)


def ico(images):
    """The .ico container: header, one directory entry per image, the images."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
        data += image
    return out + entries + data


def write_icon(name, **colours):
    images = [(size, dib(draw(size, **colours))) for size in SIZES]
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with open(path, "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    blue, dark_blue, orange, white = (34, 80, 127), (20, 52, 88), (240, 168, 48), (255, 255, 255)
    dark_orange = (196, 124, 20)
    write_icon("program.ico", ribbon=blue, edge=dark_blue, band=orange, tick=white)
    write_icon("toolbar.ico", ribbon=orange, edge=dark_orange, band=blue, tick=white)
