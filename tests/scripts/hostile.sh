#!/bin/sh
# Hostile programs that the cartridge folder cannot describe with an
# expected output: floods of output, and quit requests (SIGTERM, SIGINT)
# while a program runs in a loop.
#   hostile.sh VEXEL
VEXEL=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
. "$(dirname "$0")/check.sh"

cart() {
    printf 'vexel cartridge\nversion 14\n__lua__\n%s\n' "$2" >"$WORK/$1.qz"
}

# Output: one call writes at most 64 KiB of its text, and a headless run
# stops a program whose output passes 64 MiB.
cart flood 's="x" for i=1,12 do s=s..s end while true do printh(s) end'
timeout -k 5 60 "$VEXEL" -x "$WORK/flood.qz" -fast -home "$WORK/home" >"$WORK/flood.txt"
check "flood stops with status 2" [ $? -eq 2 ]
check "flood says why" [ "$(tail -n 1 "$WORK/flood.txt")" = "** printh: too much output" ]
bytes=$(wc -c <"$WORK/flood.txt")
check "flood output is capped ($bytes bytes)" [ "$bytes" -gt 67108864 ] && [ "$bytes" -lt 67305472 ]
cart big 's="x" for i=1,20 do s=s..s end printh(s) printh("after")'
timeout -k 5 60 "$VEXEL" -x "$WORK/big.qz" -fast -home "$WORK/home" >"$WORK/big.txt"
check "a long text runs on" [ $? -eq 0 ]
check "a long text is cut at 64 KiB" [ "$(head -n 1 "$WORK/big.txt" | wc -c)" -eq 65537 ]
check "the next line follows" [ "$(tail -n 1 "$WORK/big.txt")" = "after" ]

# The log cannot fill the disk: a program that makes vexel log in a loop
# (a reload of a missing file, cstore after cstore) leaves a log.txt under
# 1 MiB in which repeated lines are counted.
cart logflood 'cstore(0,0,16,"flood.qz")
function _update() for i=1,2000 do reload(0,0,i%100+1,"missing.qz") end
for i=1,50 do reload(0,0,16,"missing.qz") end end'
timeout -k 5 120 "$VEXEL" -x "$WORK/logflood.qz" -fast -frames 200 -home "$WORK/logs" >/dev/null 2>&1
log_bytes=$(wc -c <"$WORK/logs/log.txt")
check "the log stays under 1 MiB ($log_bytes bytes)" [ "$log_bytes" -le 1048576 ]
check "repeated log lines are counted" grep -q "\.\.\. repeated [0-9]* times" "$WORK/logs/log.txt"
check "the log still ends with the session's end" grep -q "fenn_system_exit" "$WORK/logs/log.txt"
check "older lines were dropped" grep -q "^\[older lines dropped" "$WORK/logs/log.txt"

# A quit request stops a program wherever it loops, and vexel shuts down
# in order (settings written) with the status shells expect of a run a
# signal ended: 128 + the signal's number.
quits() {  # quits NAME SIGNAL
    "$VEXEL" -x "$WORK/$1.qz" -fast -home "$WORK/home" >"$WORK/$1.txt" 2>&1 &
    pid=$!
    sleep 1
    kill -"$2" "$pid"
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid"
        wait "$pid"
        return 1
    fi
    wait "$pid"
    status=$?
    case $2 in TERM) want=143 ;; INT) want=130 ;; esac
    [ $status -eq $want ] || { echo "  exit status $status, expected $want"; return 1; }
}
cart coroutine 'c=cocreate(function() while true do end end) coresume(c)'
cart flips 'c=cocreate(function() while true do flip() end end) while true do coresume(c) end'
cart nested 'function spin() while true do end end
c=cocreate(function() coresume(cocreate(function() coresume(cocreate(spin)) end)) end) coresume(c)'
cart exit_gc 'keep={} for i=1,100 do keep[i]=setmetatable({}, {__gc=function() while true do end end}) end
c=cocreate(function() while true do end end) coresume(c)'
check "SIGTERM stops a loop in a coroutine" quits coroutine TERM
check "SIGINT stops a loop in a coroutine" quits coroutine INT
check "SIGTERM stops a loop that flips in a coroutine" quits flips TERM
check "SIGTERM stops a loop three coroutines deep" quits nested TERM
check "SIGTERM stops a program whose finalizers loop at exit" quits exit_gc TERM
check "config.txt was written" [ -s "$WORK/home/config.txt" ]

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
