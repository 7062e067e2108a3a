#!/bin/sh
# From a folder of cartridges to a cartridge running in the browser:
# vexel-board builds a board, a real nginx serves it on 127.0.0.1 with the
# server block the builder wrote, and the console's browser (headless,
# driven by a button script) updates a list, pages it, searches it,
# downloads and runs cartridges and keeps a favourite. Then the faults: no
# server, 404, 500, a list picture of the wrong size, a truncated cartridge,
# files over the size caps and a server that never answers, each ending in
# its message with nothing left behind.
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
python3 - "$WORK/bad" <<'PY'
import os, struct, sys, zlib
root = sys.argv[1]
def png(w, h):
    raw = b''.join(b'\0' + b'\0\0\0' * w for _ in range(h))
    chunk = lambda k, d: struct.pack('>I', len(d)) + k + d + struct.pack('>I', zlib.crc32(k + d))
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) + \
        chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
open(os.path.join(root, 'bbs/lists/featured/0.png'), 'wb').write(png(800, 600))
cart = os.path.join(root, 'bbs/cposts/ba/baa.qz.png')
data = open(cart, 'rb').read()
open(cart, 'wb').write(data[:len(data) // 2])
open(os.path.join(root, 'bbs/lists/wip/0.png'), 'wb').write(os.urandom(3 << 20))
open(os.path.join(root, 'bbs/cposts/c3/c39.qz.png'), 'wb').write(os.urandom(3 << 19))
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

# The queries the browser sends, answered from the static files.
Q="/bbs/cpost_lister3.php?max=32"
V="version=000111dl"
expect() {  # expect NAME QUERY FILE
    got=$(get "$2")
    check "$1 ($got)" [ "$got" = "200 $(sha "$WORK/site/$3")" ]
}
expect "new, first page" "$Q&start_index=0&cat=7&sub=2&$V" bbs/lists/new/0.png
expect "new, second page" "$Q&start_index=32&cat=7&sub=2&$V" bbs/lists/new/32.png
expect "featured" "$Q&start_index=0&cat=7&sub=2&orderby=rating&$V" bbs/lists/featured/0.png
expect "jam" "$Q&start_index=0&cat=7&sub=8&$V" bbs/lists/jam/0.png
expect "search" "$Q&start_index=0&cat=7&search=baa%20m&max=32&$V" bbs/lists/search/baa/0.png
expect "a search without results" "$Q&start_index=0&cat=7&search=zzzz&max=32&$V" bbs/lists/search-none/0.png
expect "a search without a word" "$Q&start_index=0&cat=7&search=%21&max=32&$V" bbs/lists/search-none/0.png
expect "a cartridge" "/bbs/cposts/ba/baa.qz.png" bbs/cposts/ba/baa.qz.png
# Queries the board has no list for are answered with the empty list; none
# reaches a file outside the lists.
for odd in "$Q&start_index=-1&cat=7&sub=2" "$Q&start_index=0&cat=7&sub=2/../../.." "$Q&start_index=0&cat=7" \
    "$Q&start_index=../../../nginx.conf%00&cat=7&sub=2" "$Q&start_index=0&search=../../../nginx.conf"; do
    expect "the empty list for $odd" "$odd" bbs/lists/search-none/0.png
done
for bad in "/nginx.conf" "/.vexel-board" "/bbs/lists/" "/no/such/file"; do
    got=$(get "$bad")
    check "refused: $bad ($got)" [ "${got%% *}" = 404 -o "${got%% *}" = 403 ]
done
got=$(get "/bbs/?pid=baa")
check "the discussion page of a cartridge ($got)" [ "${got#302 }" != "$got" ] && case "$got" in
    *"/bbs/posts/baa.html") true ;; *) false ;; esac
got=$(get "/bbs/posts/baa.html")
check "the page itself ($got)" [ "${got%% *}" = 200 ]

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
# Update "new", walk down to "[load more]" (item 33), load the rest, make the
# cartridge now under the cursor a favourite and run it.
{
    idle $BOOT; tap $RIGHT; tap $RIGHT; tap $O; idle $SETTLE
    i=0; while [ $i -lt 32 ]; do tap $DOWN; i=$((i + 1)); done
    tap $O; idle $SETTLE; tap $PAUSE; tap $DOWN; tap $O; idle 10; tap $O; idle 120
} >"$WORK/more.in"
run more "$HOST" "$WORK/more.in" 500 &
MORE=$!

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
wait $PLAY $FOLDER $BUNDLED $SEARCH $MORE $F1 $F2 $F3 $F4 $F5 $F6 $F7 $F8

check "the newest cartridge ran from the board ($(tail -2 "$WORK/play.out"))" grep -q "marker baa" "$WORK/play.out"
check "its file is in the download cache" [ -f "$WORK/play/bbs/carts/baa.qz.png" ]
check "the list was kept for next time" [ -f "$WORK/play/bbs/new.pip.png" ]
check "the same board read as a folder ($(tail -2 "$WORK/folder.out"))" grep -q "marker baa" "$WORK/folder.out"
bundled=$(ls "$WORK/bundled/bbs/carts" 2>/dev/null | head -1)
check "the board beside the program ran its newest cartridge ($bundled)" [ -n "$bundled" ]
check "... with no message ($(grep 'message:' "$WORK/bundled/log.txt"))" [ -z "$(grep 'message:' "$WORK/bundled/log.txt")" ]
check "a search found it ($(tail -2 "$WORK/search.out"))" grep -q "marker baa" "$WORK/search.out"
check "[load more] brought the older cartridges ($(tail -2 "$WORK/more.out"))" grep -q "marker c8" "$WORK/more.out"
check "the favourite was kept" grep -q "^|c8 " "$WORK/more/favourites.txt"

message() {  # message NAME TEXT: the session showed TEXT and left no file behind
    check "$1: \"$2\" ($(grep 'message:' "$WORK/$1/log.txt" 2>/dev/null | tail -1))" \
        grep -qx "message: $2" "$WORK/$1/log.txt"
    check "$1: nothing left behind ($(leftovers "$1"))" [ -z "$(leftovers "$1")" ]
}
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
