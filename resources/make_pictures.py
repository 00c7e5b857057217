#!/usr/bin/env python3
"""Writes Tavlo's pixel art: the program icon (tavlo.ico, 32x32 and 16x16 in
16 colours) and the 20x20 pictures of the browser's buttons (PNG).
Run it from this folder after changing a drawing; the files are kept in git."""
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


def ico_image(rows):
    """One 16-colour icon image: header, palette, colour bits and mask, bottom row first."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colours, mask = b'', b''
    for row in reversed(rows):
        nibbles = [KEY.get(c, 0) for c in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        colours += line.ljust(colour_stride, b'\0')
        bits = 0
        for i, c in enumerate(row):
            if c == '.':
                bits |= 1 << (size - 1 - i)
        mask += bits.to_bytes(size // 8, 'big').ljust(mask_stride, b'\0')
    return header + palette + colours + mask


def ico(images, path):
    data = [ico_image(rows) for rows in images]
    offset = 6 + 16 * len(images)
    out = struct.pack('<HHH', 0, 1, len(images))
    for rows, blob in zip(images, data):
        out += struct.pack('<BBBBHHII', len(rows), len(rows), 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(out + b''.join(data))


if __name__ == '__main__':
    for rows in (OPEN, FULL_SIZE, RENAME, DELETE):
        assert len(rows) == 20 and all(len(r) == 20 for r in rows)
    ico([eye(32), eye(16)], 'tavlo.ico')
    png(OPEN, 'open.png')
    png(FULL_SIZE, 'fullsize.png')
    png(RENAME, 'rename.png')
    png(DELETE, 'delete.png')
    print('\n'.join(eye(32)))
