#!/bin/sh
# The built-in cartridges: the checked-in files are what their sources make,
# and each one plays headless for a few thousand frames of scripted buttons
# without a compile or runtime error.
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

# The runs keep machine time, so they go side by side.
for cart in menu game demo; do
    ("$VEXEL" -x "$SRC/$cart.qz" -fast -frames 3000 -home "$WORK/home_$cart" -input "$WORK/$cart.txt" \
        >"$WORK/$cart.out" 2>&1; echo $? >"$WORK/$cart.status") &
done
wait
for cart in menu game demo; do
    status=$(cat "$WORK/$cart.status")
    check "$cart.qz plays without an error (exit status $status)" [ "$status" -eq 0 ]
    [ "$status" -eq 0 ] || cat "$WORK/$cart.out"
done

[ "$failed" -eq 0 ]
