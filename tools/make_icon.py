#!/usr/bin/env python3
"""Writes src/app/quorvanel.ico: a speech bubble with a small robot face, 32x32 and 16x16,
16 colours each. The ICO bytes are written directly so the file is reproducible without
third-party modules:  python3 tools/make_icon.py [output.ico]"""

import os
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# Letters of the drawings below; '.' is transparent.
COLOURS = {
    'K': 0,   # black outline
    'N': 4,   # navy eyes
    'S': 7,   # silver face
    'G': 8,   # grey face edge and mouth
    'R': 9,   # red antenna tip
    'C': 14,  # cyan eye shine
    'W': 15,  # white bubble
}

ICON_32 = [
    "................................",
    "......KKKKKKKKKKKKKKKKKKKK......",
    "....KKWWWWWWWWWWWWWWWWWWWWKK....",
    "...KWWWWWWWWWWWWRRWWWWWWWWWWK...",
    "..KWWWWWWWWWWWWRRRRWWWWWWWWWWK..",
    "..KWWWWWWWWWWWWWKKWWWWWWWWWWWK..",
    ".KWWWWWWWWWWWWWWKKWWWWWWWWWWWWK.",
    ".KWWWWWWGGGGGGGGGGGGGGGGWWWWWWK.",
    ".KWWWWWGSSSSSSSSSSSSSSSSGWWWWWK.",
    ".KWWWWWGSSSSSSSSSSSSSSSSGWWWWWK.",
    ".KWWWWWGSSNNNNSSSSNNNNSSGWWWWWK.",
    ".KWWWGGGSSNCNNSSSSNCNNSSGGGWWWK.",
    ".KWWWGSGSSNNNNSSSSNNNNSSGSGWWWK.",
    ".KWWWGSGSSNNNNSSSSNNNNSSGSGWWWK.",
    ".KWWWGGGSSSSSSSSSSSSSSSSGGGWWWK.",
    ".KWWWWWGSSSSSSSSSSSSSSSSGWWWWWK.",
    ".KWWWWWGSSSGGGGGGGGGGSSSGWWWWWK.",
    ".KWWWWWGSSSGSGSGSGSGSGSSGWWWWWK.",
    ".KWWWWWGSSSGGGGGGGGGGSSSGWWWWWK.",
    ".KWWWWWGSSSSSSSSSSSSSSSSGWWWWWK.",
    ".KWWWWWWGGGGGGGGGGGGGGGGWWWWWWK.",
    "..KWWWWWWWWWWWWWWWWWWWWWWWWWWK..",
    "..KWWWWWWWWWWWWWWWWWWWWWWWWWWK..",
    "...KWWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KKWWWWWWKKKKKKKKKKKKKKKK....",
    "......KWWWWK....................",
    "......KWWWK.....................",
    ".....KWWWK......................",
    ".....KWWK.......................",
    "....KWWK........................",
    "....KKK.........................",
    "................................",
]

ICON_16 = [
    "................",
    "...KKKKKKKKKK...",
    "..KWWWWWRWWWWK..",
    ".KWWWWWWKWWWWWK.",
    ".KWWGGGGGGGGWWK.",
    ".KWWGSSSSSSGWWK.",
    ".KWGGSNSSNSGGWK.",
    ".KWWGSSSSSSGWWK.",
    ".KWWGSKKKKSGWWK.",
    ".KWWGGGGGGGGWWK.",
    "..KWWWWWWWWWWK..",
    "...KWWKKKKKKK...",
    "...KWK..........",
    "..KWK...........",
    "..KK............",
    "................",
]


def image(rows):
    """One icon image: BITMAPINFOHEADER, palette, colour bits and mask, rows bottom-up."""
    size = len(rows)
    assert all(len(row) == size for row in rows), "drawings are square"
    xor_stride = (size * 4 + 31) // 32 * 4
    and_stride = (size + 31) // 32 * 4
    xor_bits = bytearray()
    and_bits = bytearray()
    for row in reversed(rows):
        indexes = [COLOURS.get(c, 0) for c in row]
        line = bytearray((indexes[i] << 4) | indexes[i + 1] for i in range(0, size, 2))
        xor_bits += line + bytes(xor_stride - len(line))
        mask = bytearray(and_stride)
        for x, c in enumerate(row):
            if c == '.':
                mask[x // 8] |= 0x80 >> (x % 8)
        and_bits += mask
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         len(xor_bits) + len(and_bits), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor_bits) + bytes(and_bits)


def ico(drawings):
    images = [image(rows) for rows in drawings]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for rows, data in zip(drawings, images):
        out += struct.pack('<BBBBHHII', len(rows), len(rows), 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'src', 'app',
                                                                'quorvanel.ico')
    with open(path, 'wb') as f:
        f.write(ico([ICON_32, ICON_16]))


if __name__ == '__main__':
    main()
