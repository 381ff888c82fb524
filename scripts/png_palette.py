#!/usr/bin/env python3
# Cuts 8-bit RGB(A) PNGs, in place, to at most 256 colours: the most frequent
# ones are kept, every other pixel takes the nearest kept colour; then a
# paletted PNG, packed with zlib at level 9. Other PNGs are left as they are.
# Usage: scripts/png_palette.py FILE.png...
import struct, sys, zlib
from collections import Counter

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

def rows_of(data):
    pos, idat = 8, b""
    while pos < len(data):
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + size]
        pos += 12 + size
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    if depth != 8 or colour not in (2, 6) or interlace:
        return None
    bpp = 3 if colour == 2 else 4
    raw, stride = zlib.decompress(idat), width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + ((a + b) >> 1)) & 255
            elif kind == 4:
                c = prev[x - bpp] if x >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([bytes(line[x:x + 3]) for x in range(0, stride, bpp)])
        prev = line
    return width, height, rows

for path in sys.argv[1:]:
    decoded = rows_of(open(path, "rb").read())
    if decoded is None:
        continue
    width, height, rows = decoded
    counts = Counter(pixel for row in rows for pixel in row)
    palette = [pixel for pixel, _ in counts.most_common(256)]
    index = {pixel: i for i, pixel in enumerate(palette)}
    for pixel in counts:
        if pixel not in index:
            index[pixel] = min(range(len(palette)), key=lambda i: sum(
                (p - q) ** 2 for p, q in zip(pixel, palette[i])))
    raw = b"".join(b"\0" + bytes(index[pixel] for pixel in row) for row in rows)
    with open(path, "wb") as png:
        png.write(b"\x89PNG\r\n\x1a\n")
        png.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0)))
        png.write(chunk(b"PLTE", b"".join(palette)))
        png.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        png.write(chunk(b"IEND", b""))
