#!/bin/sh
# The built-in cartridges: the checked-in files are what their sources make,
# and each one plays headless for a few thousand frames of scripted buttons
# without a compile or runtime error. The frost run solves every level and
# checks, through its save data, that each was solved in its par.
#   carts.sh VEXEL SOURCE_DIR
VEXEL=$1
SRC=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
. "$(dirname "$0")/check.sh"

if command -v python3 >/dev/null 2>&1; then
    python3 "$SRC/../../tools/make_carts.py" --check
    check "the .qz files are up to date with their sources" [ $? -eq 0 ]
fi

# presses FILE FRAMES RULE: one line per frame; RULE is an awk expression of
# the frame number f giving the buttons held in that frame
presses() {
    awk -v n="$2" "BEGIN { for (f = 0; f < n; f++) print ($3) }" >"$1"
}

# menu: wander up and down the list, then start the second entry
presses "$WORK/menu.txt" 300 \
    'f >= 20 && f < 24 ? 8 : f >= 40 && f < 44 ? 8 : f >= 60 && f < 64 ? 4 : f >= 80 && f < 84 ? 2 : f >= 120 && f < 124 ? 16 : 0'
# game: start, walk a square around the garden, and keep pressing O so a
# lost game restarts
presses "$WORK/game.txt" 3000 \
    'f % 90 < 4 ? 16 : (f % 240 < 60 ? 2 : f % 240 < 120 ? 8 : f % 240 < 180 ? 1 : 4)'
# demo: step through the scenes forwards and back, toggling the captions;
# left alone afterwards it goes through all of them on its own
presses "$WORK/demo.txt" 600 \
    'f % 60 == 30 ? 2 : f == 500 || f == 540 ? 1 : f == 200 || f == 260 ? 32 : 0'

# orbit: start, then hop now and then; z or x after a crash flies again
presses "$WORK/orbit.txt" 3000 \
    'f % 37 == 0 ? 16 : f % 53 == 0 ? 32 : 0'
# frost: solve all nine levels with the fewest slides, which also checks
# that every level can be solved as the program plays it and that the pars
# are right, then see the last screen, go back to the title and start the
# last level: slide about, undo with x, and hold z to start it again
awk -v sol="DLD/LURL/URDULU/RUDLDLU/LURDLULD/RUDRDLULU/LULRRDLDRU/DRLULDURDLD/DRULURDURURLD" '
function out(k, v) { for (; k > 0; k--) print v }
BEGIN {
    out(30, 0); out(1, 16)
    n = split(sol, lv, "/")
    for (i = 1; i <= n; i++) {
        out(40, 0)
        for (j = 1; j <= length(lv[i]); j++) {
            c = substr(lv[i], j, 1)
            out(1, c == "L" ? 1 : c == "R" ? 2 : c == "U" ? 4 : 8); out(69, 0)
        }
        out(20, 0); out(1, 16)
    }
    out(40, 0); out(1, 16); out(20, 0); out(1, 16)
    for (k = 0; k < 40; k++) { out(1, 2 ^ (k % 4)); out(30, 0); if (k % 5 == 4) { out(1, 32); out(10, 0) } }
    out(60, 16)
}' >"$WORK/frost.txt"
# band: walk the cursor over the grid setting notes, change the sound and
# the tempo with x held, pause and play with a tap of x, and take the
# pause menu's entries for a random tune and a clean sheet
presses "$WORK/band.txt" 3000 \
    'f == 1000 || f == 1600 ? 64 : f == 1010 || f == 1020 || f == 1610 ? 8 : f == 1030 || f == 1620 ? 16 : f % 400 >= 300 && f % 400 < 340 ? 32 + (f % 10 == 0 ? 4 + (f % 20 == 0 ? 2 : 0) : 0) : f % 400 == 360 ? 32 : f % 23 == 0 ? 2 ^ (int(f / 23) % 4) : f % 61 == 0 ? 16 : 0'
# sumo: a match against the machine, pushing, charging and standing firm,
# then a duel of two players (the title toggles the mode each time), player
# 2 pushing back and charging too
presses "$WORK/sumo.txt" 3000 \
    'f % 300 == 5 ? 8 : f % 300 == 10 ? 16 : (f % 200 < 100 ? 2 + (f % 50 < 3 ? 16 : 0) : 1 + (f % 60 < 20 ? 32 : 0)) + (f % 170 < 80 ? 512 : 256 + 4096 * (f % 45 == 0) + 8192 * (f % 90 > 70))'

# fireworks: aim along the quay, go through the shells launching each, hold
# x for a finale, then leave it alone until the show starts by itself
presses "$WORK/fireworks.txt" 3000 \
    'f < 1200 ? (f % 50 == 0 ? 4 : f % 50 == 10 ? 16 : f % 400 < 100 ? 1 : f % 400 < 200 ? 2 : 0) : f < 1500 ? 32 : 0'

carts="menu game demo orbit frost band sumo fireworks"
# The runs keep machine time, so they go side by side.
for cart in $carts; do
    frames=3000
    [ "$cart" = frost ] && frames=$(($(wc -l <"$WORK/frost.txt") + 30))
    ("$VEXEL" -x "$SRC/$cart.qz" -fast -frames $frames -home "$WORK/home_$cart" -input "$WORK/$cart.txt" \
        >"$WORK/$cart.out" 2>&1; echo $? >"$WORK/$cart.status") &
done
wait
for cart in $carts; do
    status=$(cat "$WORK/$cart.status")
    check "$cart.qz plays without an error (exit status $status)" [ "$status" -eq 0 ]
    [ "$status" -eq 0 ] || cat "$WORK/$cart.out"
done

# frost keeps the furthest level reached in save value 0 and the fewest
# slides of each level in values 1-9: all nine solved, each in its par
pars="3 4 6 7 8 9 10 11 13"
want=$(printf '%04x0000' 9; for p in $pars; do printf '%04x0000' "$p"; done)
got=$(tr -d '\n' <"$WORK/home_frost/cdata/vexel_frost.qzd.txt" 2>/dev/null | cut -c1-80)
check "frost: every level solved in its par (save data $got)" [ "$got" = "$want" ]

[ "$failed" -eq 0 ]
