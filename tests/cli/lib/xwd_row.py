"""Prints the pixels of one screen row read from an X window dump on stdin.

    xwd -root | python3 xwd_row.py X Y WIDTH

One "r g b" line per pixel, 8 bits per channel. Reading the dump here keeps
the screen tests free of image tools, whose speed and policies vary between
machines. An empty or short dump prints nothing and exits 1.
"""
import struct
import sys


def channel(pixel, mask):
    if not mask:
        return 0
    shift = (mask & -mask).bit_length() - 1
    top = mask >> shift
    return ((pixel & mask) >> shift) * 255 // top


def main():
    x0, y, width = map(int, sys.argv[1:4])
    data = sys.stdin.buffer.read()
    if len(data) < 100:
        return 1
    # The header is 25 big-endian 32-bit fields followed by the window name.
    fields = struct.unpack(">25I", data[:100])
    header_size, version = fields[0], fields[1]
    height, width_px = fields[5], fields[4]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    ncolors = fields[19]
    if version != 7 or bits_per_pixel not in (24, 32) or y >= height or x0 + width > width_px:
        return 1
    start = header_size + 12 * ncolors + y * bytes_per_line
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"
    out = []
    for x in range(x0, x0 + width):
        raw = data[start + x * step: start + (x + 1) * step]
        if len(raw) != step:
            return 1
        p = int.from_bytes(raw, order)
        out.append(f"{channel(p, red_mask)} {channel(p, green_mask)} {channel(p, blue_mask)}")
    print("\n".join(out))
    return 0


sys.exit(main())
