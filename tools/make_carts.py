#!/usr/bin/env python3
"""Assembles the built-in cartridges assets/carts/NAME.qz from readable sources.

Each cartridge has a folder assets/carts/src/NAME/ holding:

  main.lua   the program, copied into the __lua__ section unchanged.
  gfx.txt    sprites and sprite flags (optional):
               sprite N [WxH]   then 8*H rows of 8*W pixels, one character
                                each: a hex digit 0-f, or '.' for colour 0.
                                N is the top-left sprite of the block.
               flags N VALUE    sprite N's flag byte (decimal or 0x..).
  map.txt    the map (optional):
               tile C N         character C stands for sprite N ('.' and
                                ' ' are always 0).
               at X Y           the following rows start at map cell (X, Y).
               every other non-empty line is one map row of characters.
  sound.txt  sound effects and music patterns (optional):
               sfx N speed S [loop A B] [wave W] [vol V] [fx E]
                   then up to 32 note tokens on the following lines:
                   c4 d#4 eb3 ...  pitch: note name and octave (c2 is pitch 0,
                                   a4 is pitch 33, d#7 is pitch 63)
                   -               a rest (volume 0)
                   TOKEN*K         the token K times
                   TOKEN,wN,vN,fN  waveform, volume, effect for this note
                                   (defaults from the sfx line)
               pat N [loopstart] [loopback] [stop] : A B C D
                   pattern N plays sound effects A-D on channels 0-3;
                   '-' leaves a channel silent.
  label.txt  the label picture the cartridge browser shows (optional):
               128 rows of 128 pixels, one character each as in gfx.txt
               (a hex digit, or '.' for colour 0); lines starting with '#'
               are comments. tools/label_from_png.py makes one from a
               screenshot.

Lines starting with '#' are comments in all the text files. Run
python3 tools/make_carts.py from anywhere; the output depends only on the
sources, so the checked-in .qz files can be rebuilt byte for byte. With
--check it only verifies that the .qz files are up to date.
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CARTS = os.path.join(ROOT, "assets", "carts")
NAMES = ["menu", "game", "demo", "orbit", "frost", "band", "sumo", "fireworks"]

NOTE_BASE = {"c": 0, "d": 2, "e": 4, "f": 5, "g": 7, "a": 9, "b": 11}


class SourceError(Exception):
    pass


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [(i + 1, line.rstrip("\n")) for i, line in enumerate(f)]


def parse_int(text, where):
    try:
        return int(text, 0)
    except ValueError:
        raise SourceError("%s: not a number: %r" % (where, text))


def parse_gfx(path):
    gfx = [[0] * 128 for _ in range(128)]
    flags = [0] * 256
    lines = [(n, l) for n, l in read_lines(path) if l.strip() and not l.startswith("#")]
    i = 0
    while i < len(lines):
        n, line = lines[i]
        where = "%s:%d" % (path, n)
        words = line.split()
        if words[0] == "flags":
            flags[parse_int(words[1], where)] = parse_int(words[2], where) & 0xFF
            i += 1
            continue
        if words[0] != "sprite":
            raise SourceError("%s: expected 'sprite' or 'flags'" % where)
        num = parse_int(words[1], where)
        w, h = 1, 1
        if len(words) > 2 and re.fullmatch(r"\d+x\d+", words[2]):
            w, h = (int(v) for v in words[2].split("x"))
        x0, y0 = (num % 16) * 8, (num // 16) * 8
        if x0 + 8 * w > 128 or y0 + 8 * h > 128:
            raise SourceError("%s: sprite block leaves the sheet" % where)
        rows = lines[i + 1:i + 1 + 8 * h]
        if len(rows) < 8 * h:
            raise SourceError("%s: sprite needs %d rows" % (where, 8 * h))
        for y, (rn, row) in enumerate(rows):
            pixels = parse_pixel_row(row.strip(), 8 * w, "%s:%d" % (path, rn))
            gfx[y0 + y][x0:x0 + 8 * w] = pixels
        i += 1 + 8 * h
    return gfx, flags


def parse_pixel_row(row, width, where):
    if len(row) != width:
        raise SourceError("%s: row needs %d pixels" % (where, width))
    out = []
    for ch in row:
        if ch == ".":
            out.append(0)
        elif ch in "0123456789abcdef":
            out.append(int(ch, 16))
        else:
            raise SourceError("%s: bad pixel %r" % (where, ch))
    return out


def parse_label(path):
    """The label as 128 rows of colours, or None when there is no label.txt."""
    if not os.path.exists(path):
        return None
    rows = [(n, l.strip()) for n, l in read_lines(path) if l.strip() and not l.startswith("#")]
    if len(rows) != 128:
        raise SourceError("%s: a label needs 128 rows, not %d" % (path, len(rows)))
    return [parse_pixel_row(row, 128, "%s:%d" % (path, n)) for n, row in rows]


def parse_map(path):
    cells = [[0] * 128 for _ in range(32)]
    legend = {".": 0, " ": 0}
    x0, y = 0, 0
    for n, line in read_lines(path):
        where = "%s:%d" % (path, n)
        if not line.strip() or line.startswith("#"):
            continue
        words = line.split()
        if words[0] == "tile" and len(words) == 3 and len(words[1]) == 1:
            legend[words[1]] = parse_int(words[2], where)
            continue
        if words[0] == "at" and len(words) == 3:
            x0, y = parse_int(words[1], where), parse_int(words[2], where)
            continue
        if y >= 32 or x0 + len(line) > 128:
            raise SourceError("%s: map row leaves the map" % where)
        for x, ch in enumerate(line):
            if ch not in legend:
                raise SourceError("%s: no tile for %r" % (where, ch))
            cells[y][x0 + x] = legend[ch]
        y += 1
    return cells


def parse_note(token, defaults, where):
    parts = token.split(",")
    wave, vol, fx = defaults
    head = parts[0]
    if head == "-":
        pitch, vol = 0, 0
    else:
        m = re.fullmatch(r"([a-g])([#b]?)(\d)", head)
        if not m:
            raise SourceError("%s: bad note %r" % (where, token))
        pitch = NOTE_BASE[m.group(1)] + (int(m.group(3)) - 2) * 12
        pitch += {"#": 1, "b": -1, "": 0}[m.group(2)]
        if not 0 <= pitch <= 63:
            raise SourceError("%s: note out of range %r" % (where, token))
    for p in parts[1:]:
        if not re.fullmatch(r"[wvf][0-7]", p):
            raise SourceError("%s: bad note field %r" % (where, p))
        if p[0] == "w":
            wave = int(p[1])
        elif p[0] == "v":
            vol = int(p[1])
        else:
            fx = int(p[1])
    return (pitch, wave, vol, fx)


def parse_sound(path):
    sfx = {}
    music = {}
    current = None
    for n, line in read_lines(path):
        where = "%s:%d" % (path, n)
        if line.lstrip().startswith("#"):
            continue
        words = line.split()
        if not words:
            continue
        if words[0] == "sfx":
            num = parse_int(words[1], where)
            header = {"speed": 16, "loop": (0, 0)}
            defaults = [0, 5, 0]
            k = 2
            while k < len(words):
                key = words[k]
                if key == "loop":
                    header["loop"] = (parse_int(words[k + 1], where), parse_int(words[k + 2], where))
                    k += 3
                    continue
                val = parse_int(words[k + 1], where)
                if key == "speed":
                    header["speed"] = val
                elif key == "wave":
                    defaults[0] = val
                elif key == "vol":
                    defaults[1] = val
                elif key == "fx":
                    defaults[2] = val
                else:
                    raise SourceError("%s: unknown sfx field %r" % (where, key))
                k += 2
            if num in sfx or not 0 <= num < 64:
                raise SourceError("%s: sfx %d repeated or out of range" % (where, num))
            current = {"header": header, "defaults": tuple(defaults), "notes": []}
            sfx[num] = current
            continue
        if words[0] == "pat":
            m = re.fullmatch(r"\s*pat\s+(\d+)((?:\s+\w+)*)\s*:\s*(\S+)\s+(\S+)\s+(\S+)\s+(\S+)\s*", line)
            if not m:
                raise SourceError("%s: expected 'pat N [flags] : A B C D'" % where)
            num = int(m.group(1))
            flag_bits = {"loopstart": 1, "loopback": 2, "stop": 4}
            flags = 0
            for f in m.group(2).split():
                if f not in flag_bits:
                    raise SourceError("%s: unknown pattern flag %r" % (where, f))
                flags |= flag_bits[f]
            chans = []
            for c, v in enumerate(m.groups()[2:]):
                chans.append(0x41 + c if v == "-" else parse_int(v, where))
            music[num] = (flags, chans)
            current = None
            continue
        if current is None:
            raise SourceError("%s: notes outside an sfx" % where)
        for token in words:
            count = 1
            if "*" in token:
                token, times = token.split("*", 1)
                count = parse_int(times, where)
            note = parse_note(token, current["defaults"], where)
            current["notes"].extend([note] * count)
        if len(current["notes"]) > 32:
            raise SourceError("%s: more than 32 notes" % where)
    for num, (flags, chans) in music.items():
        for v in chans:
            if v < 64 and v not in sfx:
                raise SourceError("%s: pattern %d plays undefined sfx %d" % (path, num, v))
    return sfx, music


def build(name):
    src = os.path.join(CARTS, "src", name)
    with open(os.path.join(src, "main.lua"), encoding="utf-8") as f:
        code = f.read().rstrip("\n")
    gfx, flags = parse_gfx(os.path.join(src, "gfx.txt"))
    cells = parse_map(os.path.join(src, "map.txt"))
    sfx, music = parse_sound(os.path.join(src, "sound.txt"))
    label = parse_label(os.path.join(src, "label.txt"))

    # From version 15 on the program is UTF-8, glyphs as their characters,
    # which is what main.lua holds.
    out = ["vexel cartridge", "version 15", "__lua__", code]
    out.append("__gfx__")
    out.extend("".join("%x" % v for v in row) for row in gfx)
    # The label follows the sprites, as the console itself writes it; an
    # all-black label is no label and is left out the same way.
    if label and any(any(row) for row in label):
        out.append("__label__")
        out.extend("".join("%x" % v for v in row) for row in label)
    out.append("")
    out.append("__gff__")
    out.append("".join("%02x" % v for v in flags[:128]))
    out.append("".join("%02x" % v for v in flags[128:]))
    out.append("__map__")
    out.extend("".join("%02x" % v for v in row) for row in cells)
    out.append("__sfx__")
    last = max(sfx) if sfx else -1
    for num in range(last + 1):
        rec = sfx.get(num)
        if rec is None:
            out.append("00%02x0000" % (1 if num == 0 else 16) + "00000" * 32)
            continue
        h = rec["header"]
        notes = rec["notes"] + [(0, 0, 0, 0)] * (32 - len(rec["notes"]))
        line = "00%02x%02x%02x" % (h["speed"], h["loop"][0], h["loop"][1])
        line += "".join("%02x%x%x%x" % n for n in notes)
        out.append(line)
    out.append("__music__")
    for num in range(64):
        flags_, chans = music.get(num, (0, [0x41, 0x42, 0x43, 0x44]))
        out.append("%02x %02x%02x%02x%02x" % (flags_, chans[0], chans[1], chans[2], chans[3]))
    out.append("")
    # A cartridge read from memory drops its last line, so the file ends with an empty one.
    return "\n".join(out) + "\n"


def main():
    check = "--check" in sys.argv[1:]
    stale = []
    for name in NAMES:
        try:
            text = build(name)
        except SourceError as e:
            print("make_carts: %s" % e, file=sys.stderr)
            return 1
        path = os.path.join(CARTS, name + ".qz")
        old = None
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                old = f.read()
        if old == text:
            continue
        if check:
            stale.append(path)
        else:
            with open(path, "w", encoding="utf-8", newline="\n") as f:
                f.write(text)
            print("wrote %s" % os.path.relpath(path, ROOT))
    if stale:
        print("make_carts: out of date (run tools/make_carts.py): %s" % " ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
