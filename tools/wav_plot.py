#!/usr/bin/env python3
"""Plots a mono 16-bit WAV file to a PNG, for looking at sound by eye.

    wav_plot.py IN.wav OUT.png [START_SAMPLE COUNT]

The top strip shows the whole file (min/max per column); the bottom strip
shows COUNT samples from START_SAMPLE (default: the first 2000) point by
point. Needs only the standard library.
"""
import struct
import sys
import zlib

W, H = 1200, 200


def read_wav(path):
    data = open(path, "rb").read()
    pos = 12
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if tag == b"data":
            body = data[pos + 8:pos + 8 + size]
            return struct.unpack("<%dh" % (len(body) // 2), body[:len(body) // 2 * 2])
        pos += 8 + size + (size & 1)
    return ()


def strip(samples, columns):
    img = [[255] * W for _ in range(H)]
    for x in range(W):
        img[H // 2][x] = 200
    for x, (lo, hi) in enumerate(columns):
        y0 = int((32768 - hi) * (H - 1) / 65535)
        y1 = int((32768 - lo) * (H - 1) / 65535)
        for y in range(min(y0, y1), max(y0, y1) + 1):
            img[y][x] = 0
    return img


def envelope(samples, start, count):
    cols = []
    for x in range(W):
        a = start + x * count // W
        b = max(a + 1, start + (x + 1) * count // W)
        chunk = samples[a:b] or (0,)
        cols.append((min(chunk), max(chunk)))
    return cols


def write_png(path, rows):
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    def chunk(tag, body):
        return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, len(rows), 8, 0, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
    open(path, "wb").write(png)


def main():
    samples = read_wav(sys.argv[1])
    start = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 2000
    whole = strip(samples, envelope(samples, 0, max(len(samples), 1)))
    zoom = strip(samples, envelope(samples, start, count))
    gap = [[128] * W for _ in range(4)]
    write_png(sys.argv[2], whole + gap + zoom)


if __name__ == "__main__":
    main()
