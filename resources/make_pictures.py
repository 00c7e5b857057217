#!/usr/bin/env python3
"""Writes Tavlo's pixel art: the program icon in 16 colours at every size the
desktop asks for (icons/tavlo-N.png, drawn afresh for each size up to 64 and
doubled pixel for pixel above that) and the 20x20 pictures of the browser's
buttons (PNG). Run it from this folder after changing a drawing; the files are
kept in git."""
import math
import struct
import zlib

# The 16 standard colours.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
# Letters used in the drawings; "." is transparent.
KEY = {'K': 0, 'm': 1, 'g': 2, 'o': 3, 'n': 4, 'p': 5, 't': 6, 's': 7, 'd': 8, 'r': 9, 'l': 10, 'y': 11,
       'b': 12, 'f': 13, 'a': 14, 'w': 15}


def eye(size):
    """A single eye with a blue iris under a dark brow, drawn at size x size."""
    k = size / 32.0
    cx, cy = 15.5 * k, 18.5 * k
    rows = []
    for y in range(size):
        row = ''
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            dx = (px - cx) / (14.0 * k)
            half = 6.5 * k * (1 - dx * dx) if abs(dx) < 1 else -1
            brow_mid = 7.5 * k - 3.5 * k * (1 - ((px - cx) / (13.0 * k)) ** 2)
            r = math.hypot(px - cx, py - cy)
            c = '.'
            if abs(px - cx) < 13.0 * k and abs(py - brow_mid - 2 * k) <= 1.6 * k:
                c = 'K' if abs(py - brow_mid - 2 * k) <= 0.9 * k else 'd'
            if half > 0 and abs(py - cy) <= half + 0.6:
                c = 'K'
                if abs(py - cy) <= half - 0.7 and abs(dx) < 0.86:
                    c = 'w'
                    if r <= 5.6 * k:
                        c = 'n'
                    if r <= 4.6 * k:
                        c = 'b'
                    if r <= 2.6 * k:
                        c = 'n' if size == 16 else 'a' if r > 2.2 * k and px < cx else 'b'
                    if r <= 2.1 * k:
                        c = 'K'
                    if math.hypot(px - (cx - 1.6 * k), py - (cy - 1.8 * k)) <= 0.9 * k + 0.2:
                        c = 'w'
            row += c
        rows.append(row)
    return rows


OPEN = [
    "....................",
    "....................",
    "....KKKKKKKKKKKKKKK.",
    "....KnnnnnnnnnnnnnK.",
    "....KnnnnnnnnnwnwnK.",
    "....KKKKKKKKKKKKKKK.",
    "....KwwwwwwwwwwwwwK.",
    "....KwwwwwwwwwwwwwK.",
    "....KwwwwwwwwwwwwwK.",
    "..g.KwwwwwwwwwwwwwK.",
    "..gg.wwwwwwwwwwwwwK.",
    "gggggg.wwwwwwwwwwwK.",
    "gggggggwwwwwwwwwwwK.",
    "gggggg.wwwwwwwwwwwK.",
    "..gg.wwwwwwwwwwwwwK.",
    "..g.KwwwwwwwwwwwwwK.",
    "....KwwwwwwwwwwwwwK.",
    "....KKKKKKKKKKKKKKK.",
    "....................",
    "....................",
]

FULL_SIZE = [
    "KKKK............KKKK",
    "KKK..............KKK",
    "KK.K............K.KK",
    "K...K..........K...K",
    "......KKKKKKKK......",
    ".....KaaaaaaaaK.....",
    ".....KaaaaaayaK.....",
    ".....KaaaaayyyK.....",
    ".....KaaaaaayaK.....",
    ".....KaaagaaaaK.....",
    ".....KaaggganaK.....",
    ".....KagggggnnK.....",
    ".....KgggggggnK.....",
    ".....KggggggggK.....",
    "......KKKKKKKK......",
    "K...K..........K...K",
    "KK.K............K.KK",
    "KKK..............KKK",
    "KKKK............KKKK",
    "....................",
]

RENAME = [
    "....................",
    "...............mm...",
    "..............mrrm..",
    ".............myrrm..",
    "............myyym...",
    "...........myyym....",
    "..........myyym.....",
    ".........myyym......",
    "KKKKKKKKmyyymKKKKKK.",
    "KwwwwwwmyyymwwwwwwK.",
    "KwKwwwKsyymwwwwwwwK.",
    "KwKwwKwsKmwwwwwwwwK.",
    "KwKwwKwKKwwwwwwwwwK.",
    "KwKwwwKKwwwwwwwwwwK.",
    "KwKwwwwwwwwwwwwwwwK.",
    "KKKKKKKKKKKKKKKKKKK.",
    "....................",
    "....................",
    "....................",
    "....................",
]

DELETE = [
    "....................",
    "........KKKK........",
    ".......K....K.......",
    "..KKKKKKKKKKKKKKKK..",
    "..KssssssssssssssK..",
    "..KKKKKKKKKKKKKKKK..",
    "...KswsdswsdswsdK...",
    "...KswsdswsdswsdK...",
    "...KswsdswsdswsdK...",
    "...KswsdswsdswsdK...",
    "...KswsdswsdswsdK...",
    "...KswsdswsdswsdK...",
    "...KswsdswsdswsdK...",
    "...KswsdswsdswsdK...",
    "...KswsdswsdswsdK...",
    "...KswsdswsdswsdK...",
    "....KsssssssssssK...",
    "....KKKKKKKKKKKKK...",
    "....................",
    "....................",
]


def png(rows, path):
    height, width = len(rows), len(rows[0])
    raw = b''
    for row in rows:
        raw += b'\0'
        for c in row:
            raw += bytes(PALETTE[KEY[c]] + (255,)) if c != '.' else b'\0\0\0\0'

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)) +
                chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def enlarged(rows, factor):
    """Each pixel as a factor x factor square: pixel art scaled without blur."""
    return [''.join(c * factor for c in row) for row in rows for _ in range(factor)]


ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def icon(size):
    return eye(size) if size <= 64 else enlarged(eye(64), size // 64)


if __name__ == '__main__':
    for rows in (OPEN, FULL_SIZE, RENAME, DELETE):
        assert len(rows) == 20 and all(len(r) == 20 for r in rows)
    for size in ICON_SIZES:
        png(icon(size), 'icons/tavlo-%d.png' % size)
    png(OPEN, 'open.png')
    png(FULL_SIZE, 'fullsize.png')
    png(RENAME, 'rename.png')
    png(DELETE, 'delete.png')
    print('\n'.join(eye(32)))
