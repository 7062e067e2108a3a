#!/bin/sh
# Runs every cartridge in a folder with `vexel -x` and compares what it prints
# with NAME.out and its exit status with NAME.status (0 when absent); the
# buttons come from NAME.input when there is one, and NAME.args holds more
# options (`-frames 4`). A run that takes more than a minute fails.
#   run_carts.sh VEXEL FOLDER
VEXEL=$1
DIR=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
passed=0
failed=0
for cart in "$DIR"/*.qz; do
    name=$(basename "$cart" .qz)
    want_status=0
    [ -f "$DIR/$name.status" ] && want_status=$(cat "$DIR/$name.status")
    input=""
    [ -f "$DIR/$name.input" ] && input="-input $DIR/$name.input"
    args=""
    [ -f "$DIR/$name.args" ] && args=$(cat "$DIR/$name.args")
    timeout -k 5 60 "$VEXEL" -x "$cart" -fast $input $args -home "$WORK/home" >"$WORK/$name.txt" 2>"$WORK/$name.err"
    status=$?
    if [ "$status" != "$want_status" ]; then
        echo "FAILED: $name exited $status, expected $want_status"
        cat "$WORK/$name.err"
        failed=$((failed + 1))
    elif ! cmp -s "$WORK/$name.txt" "$DIR/$name.out"; then
        echo "FAILED: $name printed something else:"
        diff "$DIR/$name.out" "$WORK/$name.txt"
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
