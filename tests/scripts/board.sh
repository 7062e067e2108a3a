#!/bin/sh
# From a folder of cartridges to a cartridge running in the browser:
# vexel-board builds a board, a real nginx serves its files on 127.0.0.1
# with the example server block the builder wrote, and the console's
# browser (headless, driven by a button script) updates a list, loads more
# of it, searches it, downloads and runs cartridges and keeps a favourite;
# a cartridge added to the served board shows at the next update. Then the
# faults: no server, 404, 500, a list picture of the wrong size, a truncated
# cartridge, files over the size caps and a server that never answers, each
# ending in its message with nothing left behind.
#   board.sh VEXEL VEXEL_BOARD
VEXEL=$1
BOARD=$2
. "$(dirname "$0")/check.sh"
NGINX=$(command -v nginx || ls /usr/sbin/nginx 2>/dev/null)
if [ -z "$NGINX" ] || ! command -v python3 >/dev/null; then
    echo "nginx and python3 are needed (make test installs them)"
    exit 77
fi
WORK=$(mktemp -d)
PIDS=""
cleanup() {
    for p in $PIDS; do kill "$p" 2>/dev/null; done
    [ -n "$KEEP" ] && echo "kept $WORK" || rm -rf "$WORK"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# A button script: idle N (N frames of nothing), tap B (B for one frame).
idle() { i=0; while [ $i -lt "$1" ]; do echo 0; i=$((i + 1)); done; }
tap() { echo "$1"; echo 0; }
LEFT=1 RIGHT=2 UP=4 DOWN=8 O=16 PAUSE=64
BOOT=120     # frames until the browser takes buttons
SETTLE=75    # frames for a download to finish and be looked at (2.5 s)

# ---------------------------------------------------------------- the board
# 41 cartridges: "baa marker" is the newest; each prints its marker.
SRC="$WORK/source"
mkdir -p "$SRC"
i=0
: >"$SRC/board.txt"
while [ $i -le 40 ]; do
    id=c$i
    title="cart $i"
    [ $i -eq 40 ] && id=baa && title="baa marker"
    printf 'vexel cartridge // %s\nversion 14\n__lua__\n-- %s\nprinth("marker %s")\ncls(%d) print("%s", 10, 60, 7)\n' \
        "$id" "$title" "$id" $((i % 15 + 1)) "$title" >"$SRC/$id.qz"
    echo "$id.qz id=$id author=tester post=$((1000 + i)) lists=new" >>"$SRC/board.txt"
    i=$((i + 1))
done
"$BOARD" build "$SRC" "$WORK/site" -port "$(free_port)" >"$WORK/build.txt" 2>&1
check "vexel-board build ($(cat "$WORK/build.txt"))" [ $? -eq 0 ]
"$BOARD" check "$WORK/site" >/dev/null
check "vexel-board check" [ $? -eq 0 ]

# A damaged copy: a "featured" list of the wrong size, an oversized "wip"
# list, the newest cartridge truncated and the next one oversized.
cp -r "$WORK/site" "$WORK/bad"
BAA=$(cd "$WORK/bad" && find bbs/c -name baa.qz.png)
C39=$(cd "$WORK/bad" && find bbs/c -name c39.qz.png)
python3 - "$WORK/bad" "$BAA" "$C39" <<'PY'
import os, struct, sys, zlib
root, baa, c39 = sys.argv[1:4]
def png(w, h):
    raw = b''.join(b'\0' + b'\0\0\0' * w for _ in range(h))
    chunk = lambda k, d: struct.pack('>I', len(d)) + k + d + struct.pack('>I', zlib.crc32(k + d))
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) + \
        chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
open(os.path.join(root, 'bbs/l/featured/top.png'), 'wb').write(png(800, 600))
cart = os.path.join(root, baa)
data = open(cart, 'rb').read()
open(cart, 'wb').write(data[:len(data) // 2])
open(os.path.join(root, 'bbs/l/wip/top.png'), 'wb').write(os.urandom(3 << 20))
open(os.path.join(root, c39), 'wb').write(os.urandom(3 << 19))
PY

# ------------------------------------------------------------------- nginx
PORT=$(free_port)
PORT_BAD=$(free_port)
PORT_500=$(free_port)
N="$WORK/nginx"
mkdir -p "$N/tmp"
sed "s/^    listen .*;/    listen 127.0.0.1:$PORT_BAD;/; s|^    root .*;|    root $WORK/bad;|" \
    "$WORK/site/nginx.conf" >"$N/bad.conf"
cat >"$N/nginx.conf" <<EOF
daemon off;
master_process off;
pid $N/nginx.pid;
error_log $N/error.log;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $N/tmp/body;
    proxy_temp_path $N/tmp/proxy;
    fastcgi_temp_path $N/tmp/fastcgi;
    uwsgi_temp_path $N/tmp/uwsgi;
    scgi_temp_path $N/tmp/scgi;
    include $WORK/site/nginx.conf;
    include $N/bad.conf;
    server { listen 127.0.0.1:$PORT_500; location / { return 500; } }
}
EOF
# The board's own block, on this test's port.
sed -i "s/^    listen .*;/    listen 127.0.0.1:$PORT;/" "$WORK/site/nginx.conf"
"$NGINX" -e "$N/error.log" -p "$N" -c "$N/nginx.conf" >"$N/out.txt" 2>&1 &
PIDS="$PIDS $!"
# A server that takes connections and never answers.
python3 -c '
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 0)); s.listen(16)
print(s.getsockname()[1], flush=True)
held = []
while True:
    c, _ = s.accept(); held.append(c)
' >"$WORK/stall.port" &
PIDS="$PIDS $!"

get() {  # get PATH-AND-QUERY [PORT] -> "STATUS SHA" of the answer, redirects not followed
    python3 - "http://127.0.0.1:${2:-$PORT}$1" <<'PY'
import hashlib, sys, urllib.request, urllib.error
class Stay(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *a): return None
try:
    r = urllib.request.build_opener(Stay).open(sys.argv[1], timeout=5)
    print(r.status, hashlib.sha1(r.read()).hexdigest())
except urllib.error.HTTPError as e:
    print(e.code, e.headers.get('Location', ''))
except Exception as e:
    print('none', e)
PY
}
sha() { python3 -c 'import hashlib, sys; print(hashlib.sha1(open(sys.argv[1], "rb").read()).hexdigest())' "$1"; }
up=0
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
    case "$(get /index.html)" in 200*) up=1; break ;; esac
    sleep 0.25
done
check "nginx serves the board ($(cat "$N/error.log" "$N/out.txt" 2>/dev/null | tail -3))" [ $up -eq 1 ]
[ $up -eq 1 ] || { echo "$failed failed"; exit 1; }
while [ ! -s "$WORK/stall.port" ]; do sleep 0.1; done
STALL=$(cat "$WORK/stall.port")

# The files the browser asks for, served as they are.
expect() {  # expect NAME PATH: served with the bytes of the file
    got=$(get "$2")
    check "$1 ($got)" [ "$got" = "200 $(sha "$WORK/site$2")" ]
}
expect "new, its head" /bbs/l/new/top.png
expect "new, the page below" /bbs/l/new/0/0.png
expect "featured" /bbs/l/featured/top.png
expect "jam" /bbs/l/jam/top.png
expect "search" /bbs/s/ba/a/baa/top.png
expect "a cartridge" "/$BAA"
expect "its page" "/${BAA%.qz.png}.html"
expect "the index" /index.html
got=$(get /bbs/s/zq/_/zq/top.png)
check "a search word no cartridge holds is a plain 404 ($got)" [ "${got%% *}" = 404 ]
for bad in "/nginx.conf" "/.vexel-board" "/.vexel-board.sqlite" "/bbs/l/../../nginx.conf" "/no/such/file"; do
    got=$(get "$bad")
    check "refused: $bad ($got)" [ "${got%% *}" = 404 -o "${got%% *}" = 403 -o "${got%% *}" = 400 ]
done
headers=$(python3 -c 'import sys, urllib.request; print(urllib.request.urlopen(sys.argv[1], timeout=5).headers)' \
    "http://127.0.0.1:$PORT/$BAA")
check "cartridges carry caching headers" echo "$headers" | grep -qi "cache-control: public, max-age"

# --------------------------------------------------------- the browser
# run NAME BBS INPUT-FILE FRAMES [options]: a headless browser session in
# its own data folder $WORK/NAME; its output goes to $WORK/NAME.out.
run() {
    name=$1 bbs=$2 input=$3 frames=$4
    shift 4
    mkdir -p "$WORK/$name"
    "$VEXEL" -headless -browse -bbs "$bbs" -home "$WORK/$name" -input "$input" -frames "$frames" "$@" \
        >"$WORK/$name.out" 2>&1
}
leftovers() {  # files a failed download may not leave in a data folder
    find "$WORK/$1/bbs" -type f \( -name 'temp_*' -o -name '*.part' -o -name '*.dl*' -o -name '*.qz.png' \) \
        2>/dev/null | head -3
}
HOST="http://127.0.0.1:$PORT"

# Open "new", update it, run the newest cartridge: from the server, from
# the same board read as a folder, and from the board that comes with vexel
# (no -bbs: the folder "board" beside the program).
{ idle $BOOT; tap $RIGHT; tap $RIGHT; tap $O; idle $SETTLE; tap $O; idle 120; } >"$WORK/play.in"
run play "$HOST" "$WORK/play.in" 330 &
PLAY=$!
run folder "file://$WORK/site" "$WORK/play.in" 330 &
FOLDER=$!
mkdir -p "$WORK/bundled"
"$VEXEL" -headless -browse -home "$WORK/bundled" -input "$WORK/play.in" -frames 330 >"$WORK/bundled.out" 2>&1 &
BUNDLED=$!
# Search "ba" with the buttons (up: a, up: b, right, up: a), run what it finds.
{ idle $BOOT; tap $LEFT; tap $O; tap $UP; tap $UP; tap $RIGHT; tap $UP; tap $O; idle $SETTLE; tap $O; idle 120; } \
    >"$WORK/search.in"
run search "$HOST" "$WORK/search.in" 340 &
SEARCH=$!
# Update "new" (its head: the 9 newest of 41), walk down to "[load more]"
# (item 10), load the page below, make the cartridge now under the cursor
# (the newest of that page) a favourite and run it.
{
    idle $BOOT; tap $RIGHT; tap $RIGHT; tap $O; idle $SETTLE
    i=0; while [ $i -lt 9 ]; do tap $DOWN; i=$((i + 1)); done
    tap $O; idle $SETTLE; tap $PAUSE; tap $DOWN; tap $O; idle 10; tap $O; idle 120
} >"$WORK/more.in"
run more "$HOST" "$WORK/more.in" 500 &
MORE=$!
# Search "99", a word no cartridge holds: no results, and no error line.
{ idle $BOOT; tap $LEFT; tap $O; tap $DOWN; tap $DOWN; tap $RIGHT; tap $DOWN; tap $O; idle 90; } >"$WORK/none.in"
run none "$HOST" "$WORK/none.in" 230 &
NONE=$!

# The faults, each in its own session.
{ idle $BOOT; tap $RIGHT; tap $RIGHT; tap $O; idle 90; } >"$WORK/list.in"
{ idle $BOOT; tap $RIGHT; tap $RIGHT; tap $RIGHT; tap $O; idle 90; } >"$WORK/featured.in"
{ idle $BOOT; tap $RIGHT; tap $RIGHT; tap $RIGHT; tap $RIGHT; tap $O; idle 90; } >"$WORK/wip.in"
{ idle $BOOT; tap $RIGHT; tap $RIGHT; tap $O; idle $SETTLE; tap $O; idle 90; } >"$WORK/cart1.in"
{ idle $BOOT; tap $RIGHT; tap $RIGHT; tap $O; idle $SETTLE; tap $DOWN; tap $O; idle 90; } >"$WORK/cart2.in"
run down "http://127.0.0.1:$(free_port)" "$WORK/list.in" 230 &
F1=$!
run missing "$HOST/no/board/here" "$WORK/list.in" 230 &
F2=$!
run error500 "http://127.0.0.1:$PORT_500" "$WORK/list.in" 230 &
F3=$!
run wrongsize "http://127.0.0.1:$PORT_BAD" "$WORK/featured.in" 230 &
F4=$!
run overlist "http://127.0.0.1:$PORT_BAD" "$WORK/wip.in" 230 &
F5=$!
run truncated "http://127.0.0.1:$PORT_BAD" "$WORK/cart1.in" 310 &
F7=$!
run overcart "http://127.0.0.1:$PORT_BAD" "$WORK/cart2.in" 310 &
F8=$!
run stall "http://127.0.0.1:$STALL" "$WORK/list.in" 230 -timeout 2 &
F6=$!
wait $PLAY $FOLDER $BUNDLED $SEARCH $MORE $NONE $F1 $F2 $F3 $F4 $F5 $F6 $F7 $F8

check "the newest cartridge ran from the board ($(tail -2 "$WORK/play.out"))" grep -q "marker baa" "$WORK/play.out"
check "its file is in the download cache" [ -f "$WORK/play/bbs/carts/baa.qz.png" ]
check "the list was kept for next time" [ -f "$WORK/play/bbs/new.pip.png" ]
check "the same board read as a folder ($(tail -2 "$WORK/folder.out"))" grep -q "marker baa" "$WORK/folder.out"
bundled=$(ls "$WORK/bundled/bbs/carts" 2>/dev/null | head -1)
check "the board beside the program ran its newest cartridge ($bundled)" [ -n "$bundled" ]
check "... with no message ($(grep 'message:' "$WORK/bundled/log.txt"))" [ -z "$(grep 'message:' "$WORK/bundled/log.txt")" ]
check "a search found it ($(tail -2 "$WORK/search.out"))" grep -q "marker baa" "$WORK/search.out"
check "[load more] brought the older cartridges ($(tail -2 "$WORK/more.out"))" grep -q "marker c31" "$WORK/more.out"
check "the favourite was kept" grep -q "^|c31 " "$WORK/more/favourites.txt"

message() {  # message NAME TEXT: the session showed TEXT and left no file behind
    check "$1: \"$2\" ($(grep 'message:' "$WORK/$1/log.txt" 2>/dev/null | tail -1))" \
        grep -qx "message: $2" "$WORK/$1/log.txt"
    check "$1: nothing left behind ($(leftovers "$1"))" [ -z "$(leftovers "$1")" ]
}
check "a search for a word no cartridge holds: no results ($(grep 'message:' "$WORK/none/log.txt" | tail -1))" \
    grep -qx "message: no results" "$WORK/none/log.txt"
check "... and nginx logged no error for it ($(grep "/bbs/s/" "$N/error.log" 2>/dev/null | head -1))" \
    [ -z "$(grep "/bbs/s/" "$N/error.log" 2>/dev/null)" ]

# A cartridge added to the served board: the next update shows it first and
# it runs; the files the add wrote replaced the old ones in place.
printf 'vexel cartridge // added\nversion 14\n__lua__\n-- fresh one\nprinth("marker fresh")\ncls(3)\n' \
    >"$WORK/fresh.qz"
"$BOARD" add "$WORK/site" "$WORK/fresh.qz" --author "Zoë" --lists new,wip --id fresh >"$WORK/add.txt" 2>&1
check "vexel-board add ($(cat "$WORK/add.txt"))" [ $? -eq 0 ]
run added "$HOST" "$WORK/play.in" 330
check "the added cartridge ran after an update ($(tail -2 "$WORK/added.out"))" grep -q "marker fresh" "$WORK/added.out"
"$BOARD" remove "$WORK/site" fresh >"$WORK/remove.txt" 2>&1
check "vexel-board remove ($(cat "$WORK/remove.txt"))" [ $? -eq 0 ]
"$BOARD" check "$WORK/site" >/dev/null
check "the board checks after add and remove" [ $? -eq 0 ]

# An add killed at any moment leaves a whole board behind (the old one or
# the new one, never half of each) and a catalogue the next add agrees with.
for delay in 0.05 0.2 0.5; do
    "$BOARD" add "$WORK/site" "$WORK/fresh.qz" --author "Zoë" --id killed >/dev/null 2>&1 &
    pid=$!
    sleep "$delay"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    "$BOARD" check "$WORK/site" >"$WORK/killcheck.txt" 2>&1
    status=$?
    check "the board checks after an add killed at $delay s ($(tail -1 "$WORK/killcheck.txt"))" [ $status -eq 0 ]
    "$BOARD" remove "$WORK/site" killed >/dev/null 2>&1   # there or not, as far as it got
    "$BOARD" add "$WORK/site" "$WORK/fresh.qz" --author "Zoë" --id killed >"$WORK/readd.txt" 2>&1
    status=$?
    check "... and the same add then succeeds ($(cat "$WORK/readd.txt"))" [ $status -eq 0 ]
    "$BOARD" remove "$WORK/site" killed >/dev/null 2>&1
done
leftover=$(ls -a "$WORK/site" | grep -c "building\|\.part")
check "no staging left inside the board ($leftover)" [ "$leftover" -eq 0 ]

# The screen names the cause the log knows.
message down "could not connect to bbs."
message missing "bbs: http 404"
message error500 "bbs: http 500"
message wrongsize "bbs: not a list picture"
message overlist "bbs: too large"
message stall "timeout"
message truncated "bbs: not a picture"
message overcart "bbs: too large"
check "a damaged cartridge never ran" [ -z "$(grep marker "$WORK/truncated.out" "$WORK/overcart.out")" ]
echo "$failed failed, $passed passed"
[ "$failed" -eq 0 ]
