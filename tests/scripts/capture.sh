#!/bin/sh
# Screenshots from the console binary, headless: the -screenshot option and
# the glitch test's numbered shots in the desktop folder.
#   capture.sh VEXEL
VEXEL=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
HOME_DIR="$WORK/home"
DESK="$WORK/desk"
. "$(dirname "$0")/check.sh"
# Width and height from a PNG's header, as "W H".
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}
png_signature() {
    [ "$(od -An -tx1 -N8 "$1" | tr -d ' ')" = "89504e470d0a1a0a" ]
}

cat >"$WORK/shots.qz" <<'CART'
vexel cartridge // capture test
version 14
__lua__
function _draw() cls(8) rectfill(0,0,63,63,12) end
CART

"$VEXEL" -x "$WORK/shots.qz" -frames 10 -home "$HOME_DIR" -screenshot "$WORK/a.png" -screenshot_scale 1 >/dev/null 2>&1
check "-screenshot runs" [ $? -eq 0 ]
check "-screenshot writes a PNG" png_signature "$WORK/a.png"
check "-screenshot at scale 1 is 128x128" [ "$(png_size "$WORK/a.png")" = "128 128" ]

"$VEXEL" -x "$WORK/shots.qz" -frames 10 -home "$HOME_DIR" -screenshot "$WORK/a.png" -screenshot_scale 3 >/dev/null 2>&1
check "-screenshot replaces its file, at scale 3 384x384" [ "$(png_size "$WORK/a.png")" = "384 384" ]

"$VEXEL" -x "$WORK/shots.qz" -frames 10 -home "$HOME_DIR" -screenshot "$WORK/none/a.png" >/dev/null 2>&1
check "an unwritable -screenshot gives exit status 1" [ $? -eq 1 ]

timeout 120 "$VEXEL" -x "$WORK/shots.qz" -glitch_test 1 -home "$HOME_DIR" -desktop "$DESK" \
    -screenshot_scale 1 >/dev/null 2>&1
check "the glitch test ends by itself" [ $? -eq 0 ]
check "the glitch test takes 48 shots" [ "$(ls "$DESK" | wc -l)" -eq 48 ]
check "shots are named after the cartridge, from 000" [ -f "$DESK/shots_000.png" ]
check "shots are named after the cartridge, to 047" [ -f "$DESK/shots_047.png" ]
timeout 120 "$VEXEL" -x "$WORK/shots.qz" -glitch_test 1 -home "$HOME_DIR" -desktop "$DESK" \
    -screenshot_scale 1 >/dev/null 2>&1
check "a second test adds 48 more" [ "$(ls "$DESK" | wc -l)" -eq 96 ]
check "a second test numbers on" [ -f "$DESK/shots_095.png" ]
check "shots are pictures" png_signature "$DESK/shots_095.png"

[ "$failed" -eq 0 ]
