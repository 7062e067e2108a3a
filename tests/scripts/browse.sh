#!/bin/sh
# The cartridge browser through the console binary, headless: -browse opens
# it after the boot, O runs the selected cartridge, and a cartridge that ends
# brings the browser back with its "finished" bar.
#   browse.sh VEXEL
VEXEL=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
HOME_DIR="$WORK/home"
mkdir -p "$HOME_DIR/carts"
. "$(dirname "$0")/check.sh"
# Colour of pixel X Y of a PNG screenshot as "R G B".
pixel() {
    python3 - "$1" "$2" "$3" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
x, y = int(sys.argv[2]), int(sys.argv[3])
pos, idat, w, h = 8, b'', 0, 0
while pos < len(data):
    n, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + n]
    if kind == b'IHDR':
        w, h, depth, ctype = struct.unpack('>IIBB', body[:10])
        bpp = 4 if ctype == 6 else 3
    elif kind == b'IDAT':
        idat += body
    pos += 12 + n
raw = zlib.decompress(idat)
stride = w * bpp
rows, prev = [], bytearray(stride)
for r in range(h):
    f, line = raw[r * (stride + 1)], bytearray(raw[r * (stride + 1) + 1:(r + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b, c = prev[i], (prev[i - bpp] if i >= bpp else 0)
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line)
    prev = line
print(*rows[y][x * bpp:x * bpp + 3])
PY
}
if ! command -v python3 >/dev/null; then
    echo "python3 is needed to read the screenshots"
    exit 1
fi

cat >"$HOME_DIR/carts/ends.qz" <<'CART'
vexel cartridge // ends at once
version 14
__lua__
cls(12)
CART

# The browser: the one cartridge selected (its bar in colour 14) on the
# darkened panel.
"$VEXEL" -headless -fast -browse -frames 130 -home "$HOME_DIR" -screenshot "$WORK/browser.png" \
    -screenshot_scale 1 >/dev/null 2>&1
check "-browse runs" [ $? -eq 0 ]
bar=$(pixel "$WORK/browser.png" 110 84)
check "the selected row's bar (got $bar)" [ "$bar" = "$(pixel "$WORK/browser.png" 110 86)" ]
check "the selected row is not the panel" [ "$bar" != "$(pixel "$WORK/browser.png" 110 110)" ]

# O after the boot runs it; it ends, and the finished bar waits at the bottom
# over its last picture.
i=0
while [ $i -lt 120 ]; do echo 0; i=$((i + 1)); done >"$WORK/input.txt"
printf '16\n0\n' >>"$WORK/input.txt"
"$VEXEL" -headless -fast -browse -frames 200 -input "$WORK/input.txt" -home "$HOME_DIR" \
    -screenshot "$WORK/finished.png" -screenshot_scale 1 >/dev/null 2>&1
check "the run from the browser ends cleanly" [ $? -eq 0 ]
blue=$(pixel "$WORK/finished.png" 64 40)
grey=$(pixel "$WORK/finished.png" 64 126)
check "the cartridge's picture stays (got $blue)" [ "$blue" = "$(pixel "$WORK/finished.png" 10 10)" ]
check "the finished bar (got $grey)" [ "$grey" != "$blue" ]
check "the bar's top row is dark" [ "$(pixel "$WORK/finished.png" 64 120)" != "$grey" ]

# A cartridge that keeps running shows only its own picture: no finished
# bar over it while it runs and takes input.
rm "$HOME_DIR/carts/ends.qz"
cat >"$HOME_DIR/carts/runs.qz" <<'CART'
vexel cartridge // runs on
version 14
__lua__
function _draw() cls(12) end
CART
"$VEXEL" -headless -fast -browse -frames 220 -input "$WORK/input.txt" -home "$HOME_DIR" \
    -screenshot "$WORK/running.png" -screenshot_scale 1 >/dev/null 2>&1
check "the run from the browser goes on cleanly" [ $? -eq 0 ]
blue=$(pixel "$WORK/running.png" 10 10)
check "no finished bar over a running cartridge (got $(pixel "$WORK/running.png" 64 126))" \
    [ "$(pixel "$WORK/running.png" 64 126)" = "$blue" ]
check "nor the browser's rows" [ "$(pixel "$WORK/running.png" 64 90)" = "$blue" ]

[ "$failed" -eq 0 ]
