#!/usr/bin/env python3
"""Draws Pebblewire's five icons (windows/res/icons/*.ico): a small network tree of
one box at the top, joined by lines to two boxes below it and to three boxes
at the bottom. Icon 112 shows every box unlit; the animation frames 113 to 116
light boxes in cyan. Each icon holds the picture drawn for each size the
system asks for from 100 % to 200 % (16, 20, 24, 32, 40, 48 and 64 pixels),
so that it stays sharp at every dots-per-inch setting; each image has 256
colours and a transparency mask.

The generated files are committed, so building needs no Python; run this
script again after changing the pictures:  python3 tools/make-icons.py
"""
import os
import struct

# The picture is laid out on a 32x32 grid and drawn for each of these sizes.
GRID = 32
SIZES = (16, 20, 24, 32, 40, 48, 64)

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


def draw(lit, size):
    """The picture at `size` pixels: the grid's boxes and lines scaled, each
    edge on a whole pixel, lines and outlines as thick as the scale."""
    scale = size / GRID
    thick = max(1, int(scale))
    px = [[TRANSPARENT] * size for _ in range(size)]

    def at(v):
        return int(v * scale + 0.5)

    def fill(x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(size, y1)):
            for x in range(max(0, x0), min(size, x1)):
                px[y][x] = c

    # Every box the same size, 4x4 at the least, and inside the picture.
    box_w, box_h = max(4, at(BOX_W)), max(4, at(BOX_H))

    def box_edges(box):
        left, top = min(at(box[0]), size - box_w), min(at(box[1]), size - box_h)
        return left, top, left + box_w, top + box_h

    def center(box):
        left, _, right, _ = box_edges(box)
        return (left + right - thick) // 2

    def hline(x0, x1, y):
        fill(x0, y, x1 + thick, y + thick, LINE)

    def vline(x, y0, y1):
        fill(x, y0, x + thick, y1 + 1, LINE)

    # The trunk from the top box down to the bottom row, a bus to the two
    # middle boxes and a bus to the three bottom boxes.
    trunk = center(TOP)
    vline(trunk, box_edges(TOP)[3], box_edges(BOTTOM_MIDDLE)[1] - 1)
    bus1 = at(MIDDLE_LEFT[1] - 3)
    hline(center(MIDDLE_LEFT), center(MIDDLE_RIGHT), bus1)
    for box in (MIDDLE_LEFT, MIDDLE_RIGHT):
        vline(center(box), bus1, box_edges(box)[1] - 1)
    bus2 = at(BOTTOM_LEFT[1] - 3)
    hline(center(BOTTOM_LEFT), center(BOTTOM_RIGHT), bus2)
    for box in (BOTTOM_LEFT, BOTTOM_RIGHT):
        vline(center(box), bus2, box_edges(box)[1] - 1)

    for box in BOXES:
        on = box in lit
        face, shade = (LIT, LIT_SHADE) if on else (UNLIT, UNLIT_SHADE)
        left, top, right, bottom = box_edges(box)
        fill(left, top, right, bottom, OUTLINE)
        # Shade and shine only where the face keeps room between them.
        shaded = min(right - left, bottom - top) - 2 * thick >= 3 * thick
        fill(left + thick, top + thick, right - thick, bottom - thick, shade if shaded else face)
        if shaded:
            fill(left + thick, top + thick, right - 2 * thick, bottom - 2 * thick, face)
        if on and shaded:
            fill(left + thick, top + thick, left + 2 * thick, top + 2 * thick, SHINE)
    return px


def image_bytes(px):
    size = len(px)
    row_mask = (size + 31) // 32 * 4  # mask rows are padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                         size * size + size * row_mask, 0, 0, 256, 0)
    palette = b"".join(struct.pack("<BBBB", *reversed(PALETTE.get(i, (0, 0, 0))), 0)
                       for i in range(256))
    xor = b"".join(bytes(px[y]) for y in reversed(range(size)))
    mask = b""
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (1 if px[y][x] == TRANSPARENT else 0)
        bits <<= row_mask * 8 - size
        mask += bits.to_bytes(row_mask, "big")
    return header + palette + xor + mask


def ico_bytes(lit):
    images = [image_bytes(draw(lit, size)) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 8, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows", "res", "icons")
    os.makedirs(out, exist_ok=True)
    for icon_id, lit in ICONS.items():
        with open(os.path.join(out, f"icon{icon_id}.ico"), "wb") as f:
            f.write(ico_bytes(lit))


if __name__ == "__main__":
    main()
