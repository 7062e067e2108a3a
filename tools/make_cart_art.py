#!/usr/bin/env python3
"""Draws the pictures that PNG cartridges are made from and writes them to assets/.

  assets/cart_template.png  160x205 picture of a cartridge: the label window
                            (128x128 at 16,24) and the title plate (lines at
                            y 167, 175 and 187) are where the saver draws.
  assets/cart_font.png      the small title font: 96 glyphs, codes 32-127, in a
                            16x6 grid of 4x6 cells, 3x5 pixels drawn white on
                            transparent.

Run it from anywhere: python3 tools/make_cart_art.py. The output depends only
on this file, so the checked-in pictures can be rebuilt byte for byte.
"""
import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# 3x5 glyphs for codes 32-127, five rows of three columns each.
GLYPHS = """
... ... ... ... ...|.#. .#. .#. ... .#.|#.# #.# ... ... ...|#.# ### #.# ### #.#
.## #.. .#. ..# ##.|#.# ..# .#. #.. #.#|.#. #.# .#. #.# .##|.#. .#. ... ... ...
..# .#. .#. .#. ..#|#.. .#. .#. .#. #..|#.# .#. ### .#. #.#|... .#. ### .#. ...
... ... ... .#. #..|... ... ### ... ...|... ... ... ... .#.|..# ..# .#. #.. #..
### #.# #.# #.# ###|.#. ##. .#. .#. ###|##. ..# .#. #.. ###|##. ..# .#. ..# ##.
#.# #.# ### ..# ..#|### #.. ##. ..# ##.|.## #.. ### #.# ###|### ..# .#. .#. .#.
### #.# ### #.# ###|### #.# ### ..# ##.|... .#. ... .#. ...|... .#. ... .#. #..
..# .#. #.. .#. ..#|... ### ... ### ...|#.. .#. ..# .#. #..|##. ..# .#. ... .#.
.#. #.# ### #.. .##|.#. #.# ### #.# #.#|##. #.# ##. #.# ##.|.## #.. #.. #.. .##
##. #.# #.# #.# ##.|### #.. ##. #.. ###|### #.. ##. #.. #..|.## #.. #.# #.# .##
#.# #.# ### #.# #.#|### .#. .#. .#. ###|..# ..# ..# #.# .#.|#.# #.# ##. #.# #.#
#.. #.. #.. #.. ###|#.# ### ### #.# #.#|##. #.# #.# #.# #.#|.#. #.# #.# #.# .#.
##. #.# ##. #.. #..|.#. #.# #.# ##. .##|##. #.# ##. #.# #.#|.## #.. .#. ..# ##.
### .#. .#. .#. .#.|#.# #.# #.# #.# .##|#.# #.# #.# .#. .#.|#.# #.# ### ### #.#
#.# #.# .#. #.# #.#|#.# #.# .#. .#. .#.|### ..# .#. #.. ###|.## .#. .#. .#. .##
#.. #.. .#. ..# ..#|##. .#. .#. .#. ##.|.#. #.# ... ... ...|... ... ... ... ###
#.. .#. ... ... ...|... .## #.# #.# .##|#.. ##. #.# #.# ##.|... .## #.. #.. .##
..# .## #.# #.# .##|... .## ### #.. .##|..# .#. ### .#. .#.|... .## #.# .## ##.
#.. ##. #.# #.# #.#|.#. ... ##. .#. ###|..# ... ..# #.# .#.|#.. #.# ##. ##. #.#
##. .#. .#. .#. .##|... ### ### #.# #.#|... ##. #.# #.# #.#|... .#. #.# #.# .#.
... ##. #.# ##. #..|... .## #.# .## ..#|... .## #.. #.. #..|... .## .#. ..# ##.
.#. ### .#. .#. ..#|... #.# #.# #.# .##|... #.# #.# .#. .#.|... #.# #.# ### #.#
... #.# .#. .#. #.#|... #.# #.# .#. #..|... ### .#. #.. ###|.## .#. ##. .#. .##
.#. .#. .#. .#. .#.|##. .#. .## .#. ##.|... #.. ### ..# ...|### ### ### ### ###
"""


def glyph_rows():
    cells = []
    for line in GLYPHS.strip().splitlines():
        for cell in line.split("|"):
            rows = cell.split()
            assert len(rows) == 5 and all(len(r) == 3 for r in rows), cell
            cells.append(rows)
    assert len(cells) == 96, len(cells)
    return cells


def write_png(path, w, h, pixels):
    """pixels: list of h rows, each a list of w (r, g, b, a) tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def hexcol(v, a=255):
    return ((v >> 16) & 255, (v >> 8) & 255, v & 255, a)


def make_font():
    w, h = 64, 36
    img = [[(0, 0, 0, 0)] * w for _ in range(h)]
    for i, rows in enumerate(glyph_rows()):
        cx, cy = (i % 16) * 4, (i // 16) * 6
        for y, row in enumerate(rows):
            for x, c in enumerate(row):
                if c == "#":
                    img[cy + y][cx + x] = (255, 255, 255, 255)
    return w, h, img


def make_template():
    W, H = 160, 205
    clear = (0, 0, 0, 0)
    body = hexcol(0x2D3142)
    light = hexcol(0x4F5D75)
    shade = hexcol(0x1B1D29)
    ridge = hexcol(0x3C4257)
    recess = hexcol(0x15161F)
    stripe_a = hexcol(0x20263A)
    stripe_b = hexcol(0x262D45)
    plate = hexcol(0x1F2230)
    accent = hexcol(0xEF8354)
    accent_dark = hexcol(0xB85C36)

    x0, y0, x1, y1 = 2, 2, 157, 202   # body, inclusive
    radius, chamfer = 6, 14

    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        # Cut top-right corner: the cartridge's keying edge.
        if x - (x1 - chamfer) > y - y0:
            return False
        for cx, cy in ((x0 + radius, y0 + radius), (x0 + radius, y1 - radius), (x1 - radius, y1 - radius)):
            if abs(x - cx) <= radius and abs(y - cy) <= radius:
                dx = x - cx if (cx == x0 + radius) == (x < cx) else 0
                dy = y - cy if (cy == y0 + radius) == (y < cy) else 0
                if dx and dy and dx * dx + dy * dy > radius * radius:
                    return False
        return True

    img = [[clear] * W for _ in range(H)]
    for y in range(H):
        for x in range(W):
            if inside(x, y):
                img[y][x] = body
    # Bevel: light on edges facing up-left, shade on edges facing down-right.
    for y in range(H):
        for x in range(W):
            if img[y][x] != body:
                continue
            if not inside(x - 1, y) or not inside(x, y - 1):
                img[y][x] = light
            elif not inside(x + 1, y) or not inside(x, y + 1):
                img[y][x] = shade
    # Grip ridges across the top.
    for y in range(6, 17, 3):
        for x in range(36, 118):
            img[y][x] = ridge
            img[y + 1][x] = shade
    # Label recess with a three-pixel sunken frame and a striped empty window.
    for y in range(21, 155):
        for x in range(13, 147):
            edge = min(x - 13, y - 21, 146 - x, 154 - y)
            if edge < 3:
                img[y][x] = shade if (x - 13 < 3 or y - 21 < 3) and edge == min(x - 13, y - 21) else light
            else:
                img[y][x] = recess
    for y in range(24, 152):
        for x in range(16, 144):
            img[y][x] = stripe_a if ((x + y) // 6) % 2 == 0 else stripe_b
    # Title plate.
    for y in range(162, 199):
        for x in range(13, 147):
            border = x in (13, 146) or y in (162, 198)
            img[y][x] = light if border else plate
    # A chevron mark in the plate's lower right corner.
    for i in range(7):
        for t in range(2):
            for (px, py) in ((131 + i, 186 + i + t), (143 - i, 186 + i + t)):
                if 14 <= px <= 145 and 163 <= py <= 197:
                    img[py][px] = accent if t == 0 else accent_dark
    return W, H, img


def main():
    out = os.path.join(ROOT, "assets")
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, "cart_template.png"), *make_template())
    write_png(os.path.join(out, "cart_font.png"), *make_font())


if __name__ == "__main__":
    main()
