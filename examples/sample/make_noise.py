#!/usr/bin/env python3
"""The sample demo's noise picture: 256 x 256 RGBA PNG of smooth value noise
that tiles in both directions (red, green and blue each a different pattern,
alpha opaque: the player blits images with blending, so a translucent pixel
would darken its colour), for shaders that build clouds from a few texture
reads instead of computing noise.

Standard library only. usage: make_noise.py OUTPUT.png
"""
import random
import struct
import sys
import zlib

SIZE = 256


def value_noise(cells, seed):
    """Tileable smooth noise: a cells x cells lattice of random values,
    interpolated with a smoothstep, as rows of floats in 0..1."""
    rng = random.Random(seed)
    lattice = [[rng.random() for _ in range(cells)] for _ in range(cells)]
    scale = cells / SIZE
    rows = []
    for y in range(SIZE):
        fy = y * scale
        iy = int(fy)
        ty = fy - iy
        ty = ty * ty * (3 - 2 * ty)
        r0, r1 = lattice[iy % cells], lattice[(iy + 1) % cells]
        row = []
        for x in range(SIZE):
            fx = x * scale
            ix = int(fx)
            tx = fx - ix
            tx = tx * tx * (3 - 2 * tx)
            a = r0[ix % cells] + (r0[(ix + 1) % cells] - r0[ix % cells]) * tx
            b = r1[ix % cells] + (r1[(ix + 1) % cells] - r1[ix % cells]) * tx
            row.append(a + (b - a) * ty)
        rows.append(row)
    return rows


def octaves(base_cells, seed):
    """Two octaves summed, stretched back to 0..1."""
    low = value_noise(base_cells, seed)
    high = value_noise(base_cells * 2, seed + 1)
    rows = [[0.7 * a + 0.3 * b for a, b in zip(ra, rb)] for ra, rb in zip(low, high)]
    lo = min(min(r) for r in rows)
    hi = max(max(r) for r in rows)
    return [[(v - lo) / (hi - lo) for v in r] for r in rows]


def png(pixels_rgba):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in pixels_rgba)
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_noise.py OUTPUT.png\n")
        return 2
    channels = [octaves(8, 11), octaves(16, 23), octaves(4, 37)]
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            row.extend(int(round(255 * c[y][x])) for c in channels)
            row.append(255)
        rows.append(row)
    with open(sys.argv[1], "wb") as f:
        f.write(png(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main())
