#!/bin/sh
# The editors as a user reaches them, headless, driven by -keys scripts:
# Escape at the prompt opens them over the console, Alt+Right goes from one
# to the next, Ctrl+S saves the cartridge to its own file, Escape goes back
# to a prompt that still takes typed lines, and Ctrl+R runs the cartridge.
# Bad key scripts are refused with the line they fail at.
#   editors.sh VEXEL
VEXEL=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
H="$WORK/home"
. "$(dirname "$0")/check.sh"
mkdir -p "$H/carts"
CART="$H/carts/game.qz"
cat >"$CART" <<'EOF'
vexel cartridge // test
version 14
__lua__
printh("ran game")
function _update() end
EOF
touch -d '2001-01-01' "$CART"
cp "$CART" "$WORK/game_orig.qz"

# 1. Into the editors, through all three, saved, out again, a line typed
#    at the prompt, and back into the editors (on the one used last, the
#    map) for the screenshot.
cat >"$WORK/tour.txt" <<'EOF'
# the boot is over when the script starts
key escape
key alt+right
key alt+right
key ctrl+s
wait 3
key escape
type printh("prompt "..(6*7))
key enter
wait 2
key escape
wait 2
EOF
"$VEXEL" -headless -fast -frames 200 -home "$H" -screenshot_scale 1 -screenshot "$WORK/editors.png" \
    -keys "$WORK/tour.txt" "$CART" >"$WORK/out1.txt" 2>"$WORK/err1.txt"
check "the tour runs (status 0)" [ $? -eq 0 ]
check "Ctrl+S in an editor wrote the cartridge's file" [ "$CART" -nt "$WORK/tour.txt" ]
check "the saved file holds the program" grep -q '^printh("ran game")$' "$CART"
check "the saved file is a cartridge vexel reads" sh -c \
    '"$1" -x -frames 5 -home "$2" "$3" | grep -qx "ran game"' sh "$VEXEL" "$H" "$CART"
check "saving the cartridge's own file kept what it replaced in backup/" [ "$(ls "$H/backup")" = "game.qz" ]
check "the backup is the file as it was" cmp -s "$WORK/game_orig.qz" "$H/backup/game.qz"
check "the prompt took the typed line after Escape" grep -qx "prompt 42" "$WORK/out1.txt"
check "nothing ran the cartridge" sh -c '! grep -q "ran game" "$1"' sh "$WORK/out1.txt"

# The screenshot shows the editors: a top bar of one colour across row 0,
# and in it the map editor's tab (the third) lit in another colour.
pixel() { convert "$WORK/editors.png" -format "%[pixel:p{$1,$2}]" info:; }
# A convert that cannot read a pixel (a stand-in for ImageMagick that only
# converts whole pictures) counts as none.
if command -v convert >/dev/null 2>&1 && pixel 0 0 >/dev/null 2>&1; then
    bar=$(pixel 0 0)
    check "the top bar runs across the screen" [ "$(pixel 64 0)$(pixel 127 0)" = "$bar$bar" ]
    check "the map tab is lit" [ "$(pixel 55 1)" != "$bar" ]
    check "the code tab is not" [ "$(pixel 3 1)" = "$bar" ]
    check "the bottom bar is there" [ "$(pixel 0 127)" = "$bar" ]
else
    echo "no ImageMagick: screenshot not checked"
fi

# 1b. An edit in each editor, saved with Ctrl+S: a line typed at the end of
#     the program reads back what the sprite and map editors drew, so the
#     saved cartridge checks itself when it runs.
cp "$CART" "$WORK/game_before.qz"
cat >"$WORK/edit.txt" <<'EOF'
key escape
key ctrl+end
key enter
type printh("px "..sget(10,3).." cell "..mget(3,2))
key alt+right
click 21 37
key alt+right
click 28 28
key ctrl+s
wait 3
EOF
"$VEXEL" -headless -fast -frames 200 -home "$H" -keys "$WORK/edit.txt" "$CART" >"$WORK/out_edit.txt" 2>&1
check "the typed line is in the saved program" grep -q '^printh("px "..sget(10,3).." cell "..mget(3,2))$' "$CART"
out=$("$VEXEL" -x -frames 5 -home "$H" "$CART")
check "the saved cartridge holds the drawn pixel and the placed cell ($out)" sh -c \
    'printf "%s\n" "$1" | grep -qx "px [1-9][0-9]* cell 1"' sh "$out"
cp "$WORK/game_before.qz" "$CART"
touch -d '2001-01-01' "$CART"

# 2. Ctrl+R from an editor runs the cartridge.
printf 'key escape\nkey alt+right\nkey ctrl+r\nwait 5\n' >"$WORK/run.txt"
"$VEXEL" -headless -fast -frames 150 -home "$H" -keys "$WORK/run.txt" "$CART" >"$WORK/out2.txt" 2>&1
check "Ctrl+R in an editor ran the cartridge" grep -qx "ran game" "$WORK/out2.txt"

# 3. A new cartridge has no file: Ctrl+S writes nothing. (A cartridge that
#    does not load leaves the new one at the prompt.)
printf 'key escape\nkey ctrl+s\nwait 3\n' >"$WORK/untitled.txt"
"$VEXEL" -headless -fast -frames 120 -home "$H" -keys "$WORK/untitled.txt" "$H/carts/none.qz" >/dev/null 2>&1
check "an untitled cartridge is not saved by Ctrl+S" [ "$(ls "$H/carts")" = "game.qz" ]

# 3b. The boot menu's cartridge is built in: Ctrl+S in its code editor
#     writes no menu.qz, neither into the folder vexel was started from nor
#     into carts/. (Escape, Up, Z: the pause menu's "exit to console".)
mkdir -p "$WORK/cwd"
printf 'wait 30\nkey escape\nwait 2\nkey up\nwait 2\nkey z\nwait 5\nkey escape\nwait 2\nkey ctrl+s\nwait 3\nkey escape\ntype printh("at console")\nkey enter\nwait 2\n' >"$WORK/menu.txt"
(cd "$WORK/cwd" && "$VEXEL" -headless -fast -frames 400 -home "$H" -keys "$WORK/menu.txt" >"$WORK/out_menu.txt" 2>&1)
check "the console was reached from the menu" grep -qx "at console" "$WORK/out_menu.txt"
check "Ctrl+S on the menu wrote nothing where vexel started" [ -z "$(ls "$WORK/cwd")" ]
check "nor into carts/" [ "$(ls "$H/carts")" = "game.qz" ]

# 3c. Started with a cartridge's name (the menu never runs), the built-in
#     cartridges still load by name: loaded and saved, they are a file.
printf 'type load demo\nkey enter\nwait 3\ntype save fw\nkey enter\nwait 3\n' >"$WORK/builtin.txt"
"$VEXEL" -headless -fast -frames 120 -home "$H" -keys "$WORK/builtin.txt" "$CART" >/dev/null 2>&1
check "a built-in cartridge loads without the menu" [ -s "$H/carts/fw.qz" ]
check "and it is the built-in one" grep -qx -- "-- lumen" "$H/carts/fw.qz"
rm -f "$H/carts/fw.qz"

# 3d. "new" at the prompt: an empty cartridge, made in the editors and
#     kept with save NAME; the cartridge that was loaded is left as it was.
cp "$CART" "$WORK/game_kept.qz"
printf 'type new\nkey enter\nwait 2\nkey escape\ntype printh("fresh")\nkey escape\nwait 2\ntype save fresh\nkey enter\nwait 3\n' >"$WORK/new.txt"
"$VEXEL" -headless -fast -frames 150 -home "$H" -keys "$WORK/new.txt" "$CART" >/dev/null 2>&1
check "new, edit and save NAME make a cartridge" grep -qx 'printh("fresh")' "$H/carts/fresh.qz"
check "its program is only what was typed" [ "$(sed -n '/^__lua__$/,/^__/p' "$H/carts/fresh.qz" | grep -c .)" -le 3 ]
check "the loaded cartridge is untouched" cmp -s "$CART" "$WORK/game_kept.qz"
rm -f "$H/carts/fresh.qz"

# 3e. Unsaved changes at exit go to backup/, and the next start says where
#     (once).
printf 'key escape\ntype -- left unsaved\nwait 2\n' >"$WORK/unsaved.txt"
"$VEXEL" -headless -fast -frames 150 -home "$H" -keys "$WORK/unsaved.txt" "$CART" >/dev/null 2>&1
note="$H/backup/.unsaved_at_exit"
check "the exit noted where the unsaved changes went" grep -q "^backup/game" "$note"
check "and they are there" grep -q -- "-- left unsaved" "$H/$(cat "$note")"
"$VEXEL" -headless -fast -frames 100 -home "$H" "$CART" >/dev/null 2>&1
check "the next start told of them once" [ ! -e "$note" ]

# 4. Faults of the script itself.
printf 'key escape\nkey hyper+q\n' >"$WORK/bad.txt"
err=$("$VEXEL" -headless -frames 2 -home "$H" -keys "$WORK/bad.txt" 2>&1 >/dev/null)
check "a bad key script is refused (status 1)" [ $? -eq 1 ]
check "the refusal names the line" [ "$err" = "vexel: key script $WORK/bad.txt: line 2: key: unknown modifier \"hyper\"" ]
err=$("$VEXEL" -headless -frames 2 -home "$H" -keys "$WORK/none.txt" 2>&1 >/dev/null)
check "a missing key script is refused (status 1)" [ $? -eq 1 ]
check "the refusal names the file" [ "$err" = "vexel: key script $WORK/none.txt cannot be read" ]
head -c 1100000 /dev/zero | tr '\0' '#' >"$WORK/huge.txt"
"$VEXEL" -headless -frames 2 -home "$H" -keys "$WORK/huge.txt" >/dev/null 2>&1
check "a key script over 1 MiB is refused (status 1)" [ $? -eq 1 ]
"$VEXEL" -h | grep -q -- "-keys FILE"
check "-h documents -keys" [ $? -eq 0 ]

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
