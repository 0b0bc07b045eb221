#!/usr/bin/env python3
"""Draws the Vireon window icon and writes resources/icon.png and resources/icon.ico.

The icon: a dark rounded tile, a cyan lens ring and a red record dot. Drawn with plain
Python (no imaging library) so anyone can regenerate it.
"""
import math
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")


def clamp(v):
    return max(0, min(255, int(round(v))))


def render(size):
    """Returns rows of RGBA tuples, top row first, with 4x4 supersampling."""
    ss = 4
    rows = []
    s = float(size)
    corner = s * 0.22
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    px = x + (sx + 0.5) / ss
                    py = y + (sy + 0.5) / ss
                    c = sample(px, py, s, corner)
                    a = c[3] / 255.0
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            n = ss * ss
            alpha = acc[3] / n
            if alpha > 0:
                rgb = [acc[i] / acc[3] for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append((clamp(rgb[0]), clamp(rgb[1]), clamp(rgb[2]), clamp(alpha * 255)))
        rows.append(row)
    return rows


def inside_rounded(px, py, s, r):
    m = s * 0.04
    x0, y0, x1, y1 = m, m, s - m, s - m
    cx = min(max(px, x0 + r), x1 - r)
    cy = min(max(py, y0 + r), y1 - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r and x0 <= px <= x1 and y0 <= py <= y1


def sample(px, py, s, corner):
    if not inside_rounded(px, py, s, corner):
        return (0, 0, 0, 0)
    # tile: vertical gradient #111418 -> #07090B
    t = py / s
    base = (0x11 * (1 - t) + 0x07 * t, 0x14 * (1 - t) + 0x09 * t, 0x18 * (1 - t) + 0x0B * t)
    cx, cy = s * 0.5, s * 0.5
    d = math.hypot(px - cx, py - cy)
    ring_outer, ring_inner = s * 0.36, s * 0.28
    if ring_inner <= d <= ring_outer:
        return (0x35, 0xD5, 0xCE, 255)  # accent cyan
    if d <= s * 0.16:
        return (0xED, 0x45, 0x45, 255)  # record red
    return (base[0], base[1], base[2], 255)


def png_bytes(rows):
    size = len(rows)
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def bmp_entry(rows):
    """A 32-bit BI_RGB icon image: header, bottom-up BGRA pixels, AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b"".join(
        bytes(
            sum((1 << (7 - b)) for b in range(8) if x * 8 + b < size and row[x * 8 + b][3] == 0)
            for x in range(mask_row)
        )
        for row in reversed(rows)
    )
    return header + pixels + mask


def main():
    sizes = [16, 32, 48, 64, 256]
    images = {s: render(s) for s in sizes}
    with open(os.path.join(ROOT, "icon.png"), "wb") as f:
        f.write(png_bytes(images[256]))
    entries = []
    for s in sizes:
        data = png_bytes(images[s]) if s == 256 else bmp_entry(images[s])
        entries.append((s, data))
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    directory = b""
    for s, data in entries:
        dim = 0 if s >= 256 else s
        directory += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(os.path.join(ROOT, "icon.ico"), "wb") as f:
        f.write(out + directory + b"".join(d for _, d in entries))


if __name__ == "__main__":
    main()
