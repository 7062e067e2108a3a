#!/bin/sh
# The sound-effect editor heard: a key script types four notes into effect 1
# with the piano keys and sets its speed, Ctrl+S saves, and the saved
# cartridge, playing the effect, records the same sound (-wav) as a
# cartridge whose effect 1 was written directly in its text.
#   sound_editor.sh VEXEL
VEXEL=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
. "$(dirname "$0")/check.sh"
mkdir -p "$WORK/home/carts"
program='vexel cartridge // test
version 15
__lua__
sfx(1)
for i=1,40 do flip() end'
printf '%s\n' "$program" >"$WORK/home/carts/tune.qz"
# Up from the first note reaches the header line (speed), then back down
# to the notes: C-4, E-4, F#4 and, an octave up on the upper row, C-5.
cat >"$WORK/keys.txt" <<'KEYS'
key escape
key alt+right
key alt+right
key alt+right
key up
type 8
key down
type z
type c
type g
type q
key ctrl+s
wait 3
KEYS
"$VEXEL" -headless -fast -frames 100 -home "$WORK/home" -keys "$WORK/keys.txt" "$WORK/home/carts/tune.qz" >"$WORK/edit.txt" 2>&1
check "the key script ran (status 0)" [ $? -eq 0 ]

{
    printf '%s\n__sfx__\n' "$program"
    echo 0001000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
    echo 00080000180501c0501e0502405000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
} >"$WORK/expected.qz"

"$VEXEL" -x -seed 1 -home "$WORK/home" -wav "$WORK/edited.wav" "$WORK/home/carts/tune.qz" >/dev/null 2>&1
check "the edited cartridge played (status 0)" [ $? -eq 0 ]
"$VEXEL" -x -seed 1 -home "$WORK/home" -wav "$WORK/expected.wav" "$WORK/expected.qz" >/dev/null 2>&1
check "the written cartridge played (status 0)" [ $? -eq 0 ]
check "the recording is not silence" sh -c 'od -An -v -tx1 -j 44 "$1" | grep -q "[1-9a-f]"' sh "$WORK/expected.wav"
check "the edited effect sounds as the written one" cmp -s "$WORK/edited.wav" "$WORK/expected.wav"
# A load while the editor's preview plays: the record it plays from is
# replaced, and the sound must stop first (under the sanitizers a read of
# the freed record fails the run).
cp "$WORK/expected.qz" "$WORK/home/carts/other.qz"
cat >"$WORK/load.txt" <<'KEYS'
key escape
key alt+right
key alt+right
key alt+right
key space
wait 2
key escape
type load other
key enter
wait 20
KEYS
"$VEXEL" -headless -fast -frames 120 -home "$WORK/home" -wav "$WORK/load.wav" -keys "$WORK/load.txt" \
    "$WORK/home/carts/tune.qz" >"$WORK/load_out.txt" 2>&1
check "a load during a preview ends cleanly (status 0)" [ $? -eq 0 ]
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
