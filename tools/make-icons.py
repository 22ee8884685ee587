#!/usr/bin/env python3
"""Draws Pebblewire's five icons (windows/res/icons/*.ico): a small network tree of
one box at the top, joined by lines to two boxes below it and to three boxes
at the bottom. Icon 112 shows every box unlit; the animation frames 113 to 116
light boxes in cyan. Each icon is a single 32x32 image with 256 colours and a
transparency mask.

The generated files are committed, so building needs no Python; run this
script again after changing the pictures:  python3 tools/make-icons.py
"""
import os
import struct

SIZE = 32

# Palette: index -> (r, g, b). Unused entries stay black.
TRANSPARENT, OUTLINE, LINE, UNLIT, UNLIT_SHADE, LIT, LIT_SHADE, SHINE = range(8)
PALETTE = {
    TRANSPARENT: (0, 0, 0),
    OUTLINE: (16, 24, 40),
    LINE: (72, 80, 96),
    UNLIT: (176, 184, 196),
    UNLIT_SHADE: (120, 128, 144),
    LIT: (0, 255, 255),
    LIT_SHADE: (0, 160, 176),
    SHINE: (255, 255, 255),
}

# Boxes as (left, top); every box is 7x6 pixels.
BOX_W, BOX_H = 7, 6
TOP = (12, 1)
MIDDLE_LEFT, MIDDLE_RIGHT = (4, 12), (21, 12)
BOTTOM_LEFT, BOTTOM_MIDDLE, BOTTOM_RIGHT = (0, 25), (12, 25), (25, 25)
BOXES = [TOP, MIDDLE_LEFT, MIDDLE_RIGHT, BOTTOM_LEFT, BOTTOM_MIDDLE, BOTTOM_RIGHT]

# Which boxes each icon lights.
ICONS = {
    112: [],
    113: [TOP],
    114: [TOP, BOTTOM_LEFT, BOTTOM_RIGHT],
    115: [MIDDLE_LEFT, MIDDLE_RIGHT, BOTTOM_MIDDLE],
    116: BOXES,
}


def center_x(box):
    return box[0] + BOX_W // 2


def draw(lit):
    px = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def put(x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            px[y][x] = c

    def hline(x0, x1, y):
        for x in range(x0, x1 + 1):
            put(x, y, LINE)

    def vline(x, y0, y1):
        for y in range(y0, y1 + 1):
            put(x, y, LINE)

    # The trunk from the top box down to the bottom row, a bus to the two
    # middle boxes and a bus to the three bottom boxes.
    trunk = center_x(TOP)
    vline(trunk, TOP[1] + BOX_H, BOTTOM_MIDDLE[1] - 1)
    bus1 = MIDDLE_LEFT[1] - 3
    hline(center_x(MIDDLE_LEFT), center_x(MIDDLE_RIGHT), bus1)
    for box in (MIDDLE_LEFT, MIDDLE_RIGHT):
        vline(center_x(box), bus1, box[1] - 1)
    bus2 = BOTTOM_LEFT[1] - 3
    hline(center_x(BOTTOM_LEFT), center_x(BOTTOM_RIGHT), bus2)
    for box in (BOTTOM_LEFT, BOTTOM_RIGHT):
        vline(center_x(box), bus2, box[1] - 1)

    for box in BOXES:
        on = box in lit
        fill, shade = (LIT, LIT_SHADE) if on else (UNLIT, UNLIT_SHADE)
        x0, y0 = box
        for y in range(y0, y0 + BOX_H):
            for x in range(x0, x0 + BOX_W):
                edge = x in (x0, x0 + BOX_W - 1) or y in (y0, y0 + BOX_H - 1)
                lower = y == y0 + BOX_H - 2 or x == x0 + BOX_W - 2
                put(x, y, OUTLINE if edge else (shade if lower else fill))
        if on:
            put(x0 + 1, y0 + 1, SHINE)
    return px


def ico_bytes(px):
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0,
                         SIZE * SIZE + SIZE * 4, 0, 0, 256, 0)
    palette = b"".join(struct.pack("<BBBB", *reversed(PALETTE.get(i, (0, 0, 0))), 0)
                       for i in range(256))
    xor = b"".join(bytes(px[y]) for y in reversed(range(SIZE)))
    mask = b""
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if px[y][x] == TRANSPARENT else 0)
        mask += struct.pack(">I", bits)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows", "res", "icons")
    os.makedirs(out, exist_ok=True)
    for icon_id, lit in ICONS.items():
        with open(os.path.join(out, f"icon{icon_id}.ico"), "wb") as f:
            f.write(ico_bytes(draw(lit)))


if __name__ == "__main__":
    main()
