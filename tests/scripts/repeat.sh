#!/bin/sh
# Runs given the same -seed repeat exactly: the same printed lines, the same
# screenshot and the same sound, byte for byte; another seed gives other
# random numbers.
#   repeat.sh VEXEL
VEXEL=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
HOME_DIR="$WORK/home"
. "$(dirname "$0")/check.sh"

# Random numbers with no srand, noise on two voices (the mixer's own
# generator), buttons from a replay file, and a screen drawn from all three.
cat >"$WORK/dice.qz" <<'CART'
vexel cartridge // repeat test
version 14
__lua__
function note(a, v) poke(a, v % 256) poke(a + 1, flr(v / 256)) end
for i=0,31 do note(0x3200+2*i, 30 + 6*64 + 5*512) note(0x3200+68+2*i, 20+i + 6*64 + 4*512) end
poke(0x3200+65, 3) poke(0x3200+68+65, 5)
sfx(0, 0) sfx(1, 1)
x, y = 64, 64
function _update()
  if btn(0) then x -= 1 end
  if btn(1) then x += 1 end
  if btn(2) then y -= 1 end
  if btn(4) then sfx(1, 2) end
  printh(flr(rnd(10000)).." "..x.." "..y)
end
function _draw()
  for i=1,20 do pset(rnd(128), rnd(128), rnd(16)) end
  circfill(x, y, 5, 8 + flr(rnd(4)))
end
CART
printf '2\n2\n2\n1\n1\n16\n0\n4\n4\n4\n' >"$WORK/input.txt"

run() {  # run NAME SEED: stdout, screenshot and sound under $WORK/NAME.*
    "$VEXEL" -x "$WORK/dice.qz" -fast -frames 40 -seed "$2" -home "$HOME_DIR" -input "$WORK/input.txt" \
        -screenshot "$WORK/$1.png" -screenshot_scale 1 -wav "$WORK/$1.wav" >"$WORK/$1.out" 2>"$WORK/$1.err"
}
run one 7
check "a seeded run ends well" [ $? -eq 0 ]
run two 7
check "a second seeded run ends well" [ $? -eq 0 ]
check "the programs printed" [ "$(wc -l <"$WORK/one.out")" -ge 30 ]
check "the buttons reached the program" grep -q " 62 61$" "$WORK/one.out"
check "the same seed prints the same" cmp -s "$WORK/one.out" "$WORK/two.out"
check "the same seed draws the same" cmp -s "$WORK/one.png" "$WORK/two.png"
check "the same seed sounds the same" cmp -s "$WORK/one.wav" "$WORK/two.wav"
check "the sound is more than silence" [ "$(od -An -tu2 -j44 "$WORK/one.wav" | tr -s ' ' '\n' | sort -u | wc -l)" -gt 50 ]

differ() { ! cmp -s "$1" "$2"; }
run other 8
check "another seed prints other numbers" differ "$WORK/one.out" "$WORK/other.out"
check "another seed draws otherwise" differ "$WORK/one.png" "$WORK/other.png"
check "another seed sounds otherwise" differ "$WORK/one.wav" "$WORK/other.wav"

"$VEXEL" -x "$WORK/dice.qz" -fast -frames 40 -home "$HOME_DIR" >"$WORK/free1.out" 2>&1
"$VEXEL" -x "$WORK/dice.qz" -fast -frames 40 -home "$HOME_DIR" >"$WORK/free2.out" 2>&1
check "runs with no seed differ" differ "$WORK/free1.out" "$WORK/free2.out"

err=$("$VEXEL" -x "$WORK/dice.qz" -fast -frames 2 -seed 1.5 -home "$HOME_DIR" 2>&1 >/dev/null)
check "a seed that is no whole number is named" [ "$err" = "vexel: ignoring -seed 1.5 (not a whole number)" ]
"$VEXEL" -h | grep -q -- "-seed N"
check "-h documents -seed" [ $? -eq 0 ]

[ "$failed" -eq 0 ]
