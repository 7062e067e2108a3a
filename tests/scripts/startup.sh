#!/bin/sh
# Start-up, shutdown and command-line behaviour of the console binary.
#   startup.sh VEXEL SOURCE_DIR
VEXEL=$1
SRC=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
HOME_DIR="$WORK/home"
. "$(dirname "$0")/check.sh"

# A headless run of a few frames starts, logs every step and saves settings.
"$VEXEL" -headless -frames 3 -home "$HOME_DIR" >"$WORK/out.txt" 2>&1
check "headless run exits 0" [ $? -eq 0 ]
LOG="$HOME_DIR/log.txt"
check "log opens with fenn_init" grep -q "^fenn_init" "$LOG"
for step in "  platform: Linux" "  fenn_system_init" "  fenn_video_init" "  fenn_joystick_init" "ok" \
            "fenn_exit" "  fenn_config_save" "  fenn_items_created:"; do
    check "log has '$step'" grep -q "^$step" "$LOG"
done
check "config.txt written" grep -q "^sessions 1 " "$HOME_DIR/config.txt"
for d in carts backup cdata cstore plates bbs bbs/carts bbs/labels; do
    check "data folder $d" [ -d "$HOME_DIR/$d" ]
done

# Settings persist: a second run counts the session and keeps file values.
sed -i 's/^background_sleep_ms .*/background_sleep_ms 33/' "$HOME_DIR/config.txt"
"$VEXEL" -headless -frames 1 -home "$HOME_DIR" -background_sleep_ms 7 >/dev/null 2>&1
check "sessions counted" grep -q "^sessions 2 " "$HOME_DIR/config.txt"
check "command-line override not saved" grep -q "^background_sleep_ms 33 " "$HOME_DIR/config.txt"

# Exec mode with a cartridge that cannot be loaded.
out=$("$VEXEL" -x "$WORK/nothing.qz" -home "$HOME_DIR" 2>/dev/null)
status=$?
check "exec of a missing cartridge exits 1" [ $status -eq 1 ]
check "exec of a missing cartridge says so" [ "$out" = "could not load $WORK/nothing.qz (file not found)" ]
printf 'not a cartridge\n' >"$WORK/bad.qz"
out=$("$VEXEL" -x "$WORK/bad.qz" -home "$HOME_DIR" 2>/dev/null)
check "exec of a damaged cartridge exits 1" [ $? -eq 1 ]
check "exec of a damaged cartridge says why" [ "$out" = "could not load $WORK/bad.qz (not a cartridge)" ]
# A file over the size limit is not read at all, and the sizes are said.
truncate -s 129M "$WORK/huge.qz"
out=$("$VEXEL" -x "$WORK/huge.qz" -home "$HOME_DIR" 2>/dev/null)
check "exec of a huge file exits 1" [ $? -eq 1 ]
check "exec of a huge file says how large" \
    [ "$out" = "could not load $WORK/huge.qz (too large (129 MB, the limit is 16 MB))" ]
err=$("$VEXEL" -headless -frames 100 -home "$HOME_DIR" -run "$WORK/huge" 2>&1 >/dev/null)
check "-run of a huge file named without its extension says how large" \
    [ "$err" = "vexel: could not load $WORK/huge (too large (129 MB, the limit is 16 MB))" ]
rm -f "$WORK/huge.qz"

# The console (not exec mode) with a cartridge that cannot be loaded names
# it with the reason; with -run the exit status says the run failed.
: >"$WORK/empty.qz"
printf '\211PNG\r\n\032\n' >"$WORK/notcart.qz.png"
for bad in nothing.qz bad.qz empty.qz notcart.qz.png; do
    err=$("$VEXEL" -headless -frames 100 -home "$HOME_DIR" -run "$WORK/$bad" 2>&1 >/dev/null)
    check "-run $bad exits 1" [ $? -eq 1 ]
    check "-run $bad is named with a reason" [ "${err#vexel: could not load $WORK/$bad (}" != "$err" ]
done
"$VEXEL" -headless -frames 100 -home "$HOME_DIR" "$WORK/bad.qz" >/dev/null 2>&1
check "a bad cartridge without -run leaves the console running" [ $? -eq 0 ]

# Without its resource file the console refuses to start, and says why.
mkdir -p "$WORK/bin"
cp "$VEXEL" "$WORK/bin/vexel"
out=$("$WORK/bin/vexel" -headless -frames 1 -home "$HOME_DIR" 2>/dev/null)
status=$?
check "missing data.pod fails" [ $status -ne 0 ]
check "missing data.pod is named" [ "$out" = "couldn't load $WORK/bin/data.pod" ]
printf 'CPOD garbage' >"$WORK/bin/data.pod"
out=$("$WORK/bin/vexel" -headless -frames 1 -home "$HOME_DIR" 2>/dev/null)
check "damaged data.pod is refused" [ "$out" = "couldn't load $WORK/bin/data.pod" ]

# Sound recorded headless: 30 frames at 30 a second are one second of samples.
cp /dev/null "$WORK/snd.wav"
printf 'vexel cartridge\nversion 14\n__lua__\nsfx(0)\nfunction _update() end\n__sfx__\n010a0000%s\n' \
    "$(awk 'BEGIN { for (i = 0; i < 32; i++) printf "%02x%d50", 20 + i, i % 8 }')" >"$WORK/snd.qz"
"$VEXEL" -x "$WORK/snd.qz" -fast -frames 30 -wav "$WORK/snd.wav" -home "$HOME_DIR" >/dev/null 2>&1
check "-wav exits 0" [ $? -eq 0 ]
check "-wav writes one second" [ "$(wc -c <"$WORK/snd.wav")" -eq 44144 ]
check "-wav records sound, not silence" [ "$(od -An -v -tx1 -j44 "$WORK/snd.wav" | tr -d ' 0\n' | wc -c)" -gt 1000 ]

# Help.
"$VEXEL" -h | grep -q "usage: vexel"
check "-h prints usage" [ $? -eq 0 ]

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
