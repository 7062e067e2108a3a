#!/usr/bin/env python3
"""Turns a 128x128 screenshot into a cartridge label: label.txt for make_carts.py.

  python3 tools/label_from_png.py SHOT.png [OUT.txt]

SHOT.png is a picture of the machine's screen, typically taken headless at
one pixel per machine pixel:

  build/vexel -x assets/carts/NAME.qz -headless -fast -seed 1 \\
      -input buttons.txt -frames 400 -screenshot_scale 1 -screenshot shot.png

A larger picture whose sides are a whole multiple of 128 (a screenshot at
scale 3, say) is read one pixel per block. Each pixel becomes the machine
colour nearest to it among the sixteen of assets/palette.txt, written as a
hex digit ('.' for colour 0), 128 rows of 128, which is the label.txt format
of tools/make_carts.py. Without OUT.txt the label goes to standard output.

Only the standard library is used: the PNG reader handles 8-bit greyscale,
RGB, RGBA and palette pictures without interlacing, which covers what the
console writes.
"""
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SIDE = 128


def machine_palette():
    colours = []
    with open(os.path.join(ROOT, "assets", "palette.txt"), encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if len(words) >= 2 and not line.startswith("#") and words[0].isdigit() and int(words[0]) < 16:
                h = words[1].lstrip("#")
                colours.append((int(words[0]), tuple(int(h[i:i + 2], 16) for i in (0, 2, 4))))
    colours.sort()
    if [i for i, _ in colours] != list(range(16)):
        raise SystemExit("label_from_png: assets/palette.txt lacks some of the sixteen colours")
    return [c for _, c in colours]


def read_png(path):
    """Returns (width, height, rows) with rows of (r, g, b) tuples."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit("label_from_png: %s is not a PNG picture" % path)
    pos = 8
    idat = b""
    plte = []
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            plte = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    channels = {0: 1, 2: 3, 3: 1, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace:
        raise SystemExit("label_from_png: %s: only 8-bit, non-interlaced pictures are read" % path)
    raw = zlib.decompress(idat)
    stride = width * channels
    prev = bytearray(stride)
    rows = []
    pos = 0
    for _ in range(height):
        kind = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = prev[i]
            corner = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + pred) & 255
        prev = line
        if colour == 0:
            rows.append([(v, v, v) for v in line])
        elif colour == 3:
            rows.append([plte[v] for v in line])
        else:
            rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
    return width, height, rows


def nearest(rgb, palette):
    return min(range(16), key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb, palette[i])))


def label_rows(path):
    width, height, rows = read_png(path)
    if width != height or width % SIDE:
        raise SystemExit("label_from_png: %s is %dx%d, not a multiple of 128 square" % (path, width, height))
    step = width // SIDE
    palette = machine_palette()
    cache = {}
    out = []
    for y in range(SIDE):
        line = ""
        for x in range(SIDE):
            rgb = rows[y * step][x * step]
            if rgb not in cache:
                cache[rgb] = nearest(rgb, palette)
            v = cache[rgb]
            line += "." if v == 0 else "%x" % v
        out.append(line)
    return out


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    text = "\n".join(label_rows(sys.argv[1])) + "\n"
    if len(sys.argv) == 3:
        with open(sys.argv[2], "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
