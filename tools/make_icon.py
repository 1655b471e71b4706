#!/usr/bin/python3
"""Writes the program icon (a white circular arrow on a blue rounded square)
as a Windows .ico file with 16, 32 and 48 pixel 32-bit images and a 256 pixel
PNG image.

The output is byte-for-byte the same on every machine: the shapes are tested
with IEEE arithmetic only (+, -, *, /, sqrt, no trigonometry from the C
library), coverage is counted in integers, and the PNG is compressed by the
small deflate encoder below instead of the system zlib, whose output differs
between zlib builds.

Usage: make_icon.py OUTPUT.ico
"""

import math
import struct
import sys
import zlib

BLUE = (0x1F, 0x5F, 0xAF)
WHITE = (0xFF, 0xFF, 0xFF)

# Geometry in units of the icon's edge length, origin top left, y downwards,
# so angles grow clockwise on screen.
SQUARE_MARGIN = 0.03  # rounded to whole pixels, so small icons keep sharp edges
SQUARE_RADIUS = 0.20
CENTRE = 0.5
RING_RADIUS = 0.27
RING_HALF_WIDTH = 0.07
HEAD_HALF_WIDTH = 0.15
HEAD_LENGTH = 0.17

_H = math.sqrt(0.5)
# The ring is open between these two directions (clockwise from START to END):
# the arrow runs clockwise from GAP_END (half past one) round to GAP_START
# (half past ten), where its head sits.
GAP_START = (-_H, -_H)      # -135 degrees
GAP_END = (_H, -_H)         # -45 degrees


def _cross(ax, ay, bx, by):
    return ax * by - ay * bx


def _arrow_head():
    """Triangle at GAP_START: base across the ring, tip along the tangent."""
    dx, dy = GAP_START
    bx, by = CENTRE + RING_RADIUS * dx, CENTRE + RING_RADIUS * dy
    tx, ty = -dy, dx  # clockwise tangent
    base_a = (bx - HEAD_HALF_WIDTH * dx, by - HEAD_HALF_WIDTH * dy)
    base_b = (bx + HEAD_HALF_WIDTH * dx, by + HEAD_HALF_WIDTH * dy)
    tip = (bx + HEAD_LENGTH * tx, by + HEAD_LENGTH * ty)
    return base_a, base_b, tip


HEAD = _arrow_head()


def in_triangle(x, y, tri):
    (ax, ay), (bx, by), (cx, cy) = tri
    d1 = _cross(bx - ax, by - ay, x - ax, y - ay)
    d2 = _cross(cx - bx, cy - by, x - bx, y - by)
    d3 = _cross(ax - cx, ay - cy, x - cx, y - cy)
    negative = d1 < 0 or d2 < 0 or d3 < 0
    positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (negative and positive)


def in_rounded_square(x, y, margin):
    lo = margin + SQUARE_RADIUS
    hi = 1.0 - margin - SQUARE_RADIUS
    if x < margin or x > 1.0 - margin:
        return False
    if y < margin or y > 1.0 - margin:
        return False
    cx = lo if x < lo else hi if x > hi else x
    cy = lo if y < lo else hi if y > hi else y
    return (x - cx) ** 2 + (y - cy) ** 2 <= SQUARE_RADIUS ** 2


def in_arrow(x, y):
    px, py = x - CENTRE, y - CENTRE
    r = math.sqrt(px * px + py * py)
    if abs(r - RING_RADIUS) <= RING_HALF_WIDTH:
        in_gap = (_cross(GAP_START[0], GAP_START[1], px, py) >= 0
                  and _cross(px, py, GAP_END[0], GAP_END[1]) >= 0)
        if not in_gap:
            return True
    return in_triangle(x, y, HEAD)


def render(size, samples):
    """Returns rows (top first) of straight-alpha RGBA bytes."""
    n = samples * samples
    margin = int(SQUARE_MARGIN * size + 0.5) / size
    rows = []
    for j in range(size):
        row = bytearray()
        for i in range(size):
            blue = white = 0
            for sj in range(samples):
                y = (j + (sj + 0.5) / samples) / size
                for si in range(samples):
                    x = (i + (si + 0.5) / samples) / size
                    if in_rounded_square(x, y, margin):
                        if in_arrow(x, y):
                            white += 1
                        else:
                            blue += 1
            covered = blue + white
            if covered == 0:
                row += b"\0\0\0\0"
                continue
            rgb = [(BLUE[k] * blue + WHITE[k] * white + covered // 2) // covered
                   for k in range(3)]
            alpha = (255 * covered + n // 2) // n
            row += bytes(rgb + [alpha])
        rows.append(bytes(row))
    return rows


def bmp_image(size, rows):
    """Icon image in the DIB form: header, bottom-up BGRA, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for i in range(size):
            r, g, b, a = row[4 * i:4 * i + 4]
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for i in range(size):
            if row[4 * i + 3] == 0:
                line[i // 8] |= 0x80 >> (i % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


class _BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.nbits = 0

    def bits(self, value, count):
        """Writes count bits of value, least significant first."""
        self.acc |= value << self.nbits
        self.nbits += count
        while self.nbits >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.nbits -= 8

    def code(self, value, count):
        """Writes a Huffman code, most significant bit first."""
        reversed_value = 0
        for _ in range(count):
            reversed_value = (reversed_value << 1) | (value & 1)
            value >>= 1
        self.bits(reversed_value, count)

    def finish(self):
        if self.nbits:
            self.out.append(self.acc & 0xFF)
        return bytes(self.out)


_LENGTH_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35,
                43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258]
_LENGTH_EXTRA = [0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                 4, 4, 4, 4, 5, 5, 5, 5, 0]
_DIST_BASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257,
              385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289,
              16385, 24577]
_DIST_EXTRA = [0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9,
               9, 10, 10, 11, 11, 12, 12, 13, 13]


def _fixed_symbol(w, sym):
    if sym < 144:
        w.code(0x30 + sym, 8)
    elif sym < 256:
        w.code(0x190 + sym - 144, 9)
    elif sym < 280:
        w.code(sym - 256, 7)
    else:
        w.code(0xC0 + sym - 280, 8)


def _bucket(bases, value):
    k = len(bases) - 1
    while bases[k] > value:
        k -= 1
    return k


def zlib_fixed(data):
    """zlib stream of one fixed-Huffman deflate block with greedy matching."""
    w = _BitWriter()
    w.bits(1, 1)  # last block
    w.bits(1, 2)  # fixed Huffman codes
    chains = {}
    i, n = 0, len(data)
    while i < n:
        best_len = best_dist = 0
        if i + 3 <= n:
            key = data[i:i + 3]
            candidates = chains.get(key, [])
            for start in reversed(candidates):
                dist = i - start
                if dist > 32768:
                    break
                length = 3
                limit = min(258, n - i)
                while length < limit and data[start + length] == data[i + length]:
                    length += 1
                if length > best_len:
                    best_len, best_dist = length, dist
                    if length == limit:
                        break
        step = best_len if best_len else 1
        for p in range(i, min(i + step, n - 2)):
            chain = chains.setdefault(data[p:p + 3], [])
            chain.append(p)
            if len(chain) > 16:
                del chain[0]
        if best_len:
            k = _bucket(_LENGTH_BASE, best_len)
            _fixed_symbol(w, 257 + k)
            w.bits(best_len - _LENGTH_BASE[k], _LENGTH_EXTRA[k])
            d = _bucket(_DIST_BASE, best_dist)
            w.code(d, 5)
            w.bits(best_dist - _DIST_BASE[d], _DIST_EXTRA[d])
        else:
            _fixed_symbol(w, data[i])
        i += step
    _fixed_symbol(w, 256)
    stream = b"\x78\x01" + w.finish() + struct.pack(">I", zlib.adler32(data))
    if zlib.decompress(stream) != data:
        raise AssertionError("deflate encoder produced a bad stream")
    return stream


def png_image(size, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body)))

    raw = bytearray()
    stride = 4 * size
    previous = bytes(stride)
    for row in rows:
        # "Up" filter: the flat areas become runs of zeros.
        raw.append(2)
        raw += bytes((row[k] - previous[k]) & 0xFF for k in range(stride))
        previous = row
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib_fixed(bytes(raw))) + chunk(b"IEND", b""))


def build_icon():
    images = []
    for size, samples in ((16, 8), (32, 8), (48, 6)):
        images.append((size, bmp_image(size, render(size, samples))))
    images.append((256, png_image(256, render(256, 3))))

    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, blob in images:
        dim = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob),
                           offset)
        offset += len(blob)
    for _, blob in images:
        out += blob
    return bytes(out)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    data = build_icon()
    with open(argv[1], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
