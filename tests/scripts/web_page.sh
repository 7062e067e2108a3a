#!/bin/sh
# The player page in a real browser: headless chromium loads
# vexel.html?cart=URL&seed=S&frames=N from a loopback server; the page runs
# N machine frames and titles itself "vexel done HASH" (SHA-1 of screen
# memory), which must equal what `vexel -x CART -frames N -seed S
# -screen-sha1` prints: the page starts the cartridge at once, as -x does,
# and a run with a seed draws the console's cursor steady. A cartridge that
# cannot be fetched is reported on the page. Needs web_same's build (build-web/); skipped (77) without
# emscripten, node, chromium or python3.
#   web_page.sh VEXEL SOURCE_DIR BUILD_DIR
VEXEL=$1
SRC=$2
BUILD=$3
WEB="$SRC/build-web"
for tool in emcc node chromium python3; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (sh tools/install-deps.sh --web)"
        exit 77
    fi
done
if ! make -s -C "$SRC" web-build BUILD="$BUILD" >"$BUILD/web_page_build.log" 2>&1; then
    tail -30 "$BUILD/web_page_build.log"
    echo "FAILED: make web-build"
    exit 1
fi
WORK=$(mktemp -d)
SERVER=""
trap '[ -n "$SERVER" ] && kill "$SERVER"; rm -rf "$WORK"' EXIT
. "$(dirname "$0")/check.sh"

mkdir "$WORK/site"
cp "$WEB/vexel.html" "$WEB/vexel.js" "$WEB/vexel.wasm" "$WEB/player.js" "$WORK/site/"
cp "$SRC/tests/scripts/carts/draw_shapes.qz" "$SRC/tests/scripts/carts/coroutines.qz" "$WORK/site/"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$PORT" --bind 127.0.0.1 --directory "$WORK/site" >"$WORK/server.log" 2>&1 &
SERVER=$!
sleep 1

page() {  # page QUERY: the page's DOM once it has settled
    timeout 90 chromium --headless --disable-gpu --no-sandbox --user-data-dir="$WORK/profile" \
        --virtual-time-budget=30000 --dump-dom "http://127.0.0.1:$PORT/vexel.html?$1" 2>/dev/null
}

same_hash() {  # same_hash CART FRAMES SEED
    want=$(SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$VEXEL" -x "$WORK/site/$1" -frames "$2" -seed "$3" \
        -screen-sha1 -home "$WORK/home" | sed -n 's/^screen sha1 //p')
    got=$(page "cart=$1&seed=$3&frames=$2" | sed -n 's/.*<title>vexel done \([0-9a-f]*\)<\/title>.*/\1/p')
    check "$1, $2 frames: the page's screen is the desktop's ($want, page: ${got:-none})" \
        [ -n "$want" -a "$want" = "$got" ]
}

# Draws from rnd every frame and never ends: frame N and the seed decide.
cat >"$WORK/site/confetti.qz" <<'CART'
vexel cartridge // confetti
version 15
__lua__
t = 0
function _update() t += 1 end
function _draw()
  cls(1)
  for i=1,12 do circfill(rnd(128), rnd(128), 1 + t % 7, 8 + i % 8) end
  print("frame "..t, 2, 2, 7)
end
CART

same_hash draw_shapes.qz 20 3
same_hash coroutines.qz 30 9
same_hash confetti.qz 45 5

# A board's cartridge page plays its cartridge in the page: vexel-board
# (beside this program) puts the player into the site, and ?frames= on the
# cartridge's page starts it at once and takes the player's title.
BOARD_TOOL="$(dirname "$VEXEL")/vexel-board"
mkdir "$WORK/board_src"
cp "$WORK/site/confetti.qz" "$WORK/board_src/"
echo "confetti.qz id=confetti author=tester post=1 lists=new" >"$WORK/board_src/board.txt"
VEXEL_WEB_PLAYER="$WEB" "$BOARD_TOOL" build "$WORK/board_src" "$WORK/site/board" -jobs 1 >"$WORK/board.out" 2>&1
check "vexel-board build with the player ($(tail -1 "$WORK/board.out"))" [ -f "$WORK/site/board/play/vexel.wasm" ]
cart_page=$(cd "$WORK/site/board" && ls bbs/c/*/confetti.html)
board_cart=$(ls "$WORK/site/board"/bbs/c/*/confetti.qz.png)
want=$(SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$VEXEL" -x "$board_cart" -frames 40 -seed 2 -screen-sha1 \
    -home "$WORK/home" | sed -n 's/^screen sha1 //p')
got=$(timeout 90 chromium --headless --disable-gpu --no-sandbox --user-data-dir="$WORK/profile" \
    --virtual-time-budget=30000 --dump-dom "http://127.0.0.1:$PORT/board/$cart_page?seed=2&frames=40" 2>/dev/null |
    sed -n 's/.*<title>vexel done \([0-9a-f]*\)<\/title>.*/\1/p')
check "the board's cartridge page plays it: the desktop's screen ($want, page: ${got:-none})" \
    [ -n "$want" -a "$want" = "$got" ]

# What the page adds around the machine, driven by web_page_hooks.js in a
# copy of the page: keys and a gamepad reach btn(), save data outlives the
# page, F1 and Ctrl+S download, a dropped cartridge plays.
sed 's|<script src="player.js"></script>|<script src="player.js"></script><script src="hooks.js"></script>|' \
    "$WORK/site/vexel.html" >"$WORK/site/hooks.html"
cp "$(dirname "$0")/web_page_hooks.js" "$WORK/site/hooks.js"
cat >"$WORK/site/buttons.qz" <<'CART'
vexel cartridge // buttons
version 15
__lua__
names = {"left", "right", "up", "down", "o", "x"}
t = 0
function _init() printh("ready") end
function _update()
  t += 1
  if t % 20 == 0 then printh("later") end
  for i=0,5 do if btn(i) then printh("seen "..names[i+1]) end end
end
CART
cat >"$WORK/site/saves.qz" <<'CART'
vexel cartridge // save data
version 15
__lua__
cartdata("web_page_test")
v = dget(0)
dset(0, v + 1)
function _update() printh("seen count "..v) end
CART
hooks() {  # hooks QUERY [PROFILE]: what the hooks collected, "seen: ... downloads: ..."
    timeout 90 chromium --headless --disable-gpu --no-sandbox --user-data-dir="$WORK/${2:-profile}" \
        --virtual-time-budget=10000 --dump-dom "http://127.0.0.1:$PORT/hooks.html?$1" 2>/dev/null |
        sed -n 's/.*<pre id="seen">\([^<]*\)<.*/seen: \1/p; s/.*<pre id="downloads">\([^<]*\)<.*/downloads: \1/p' | tr '\n' ' '
}
got=$(hooks "cart=buttons.qz&test=keys&frames=300")
check "a held key and a gamepad's stick and button reach btn() ($got)" \
    [ "$got" = "seen: seen left,seen right,seen x " ]
got=$(hooks "cart=saves.qz&frames=30" saves)
again=$(hooks "cart=saves.qz&frames=30" saves)
check "save data is kept in the browser for the next visit ($got / $again)" \
    [ "$got" = "seen: seen count 0 " -a "$again" = "seen: seen count 1 " ]
got=$(hooks "cart=buttons.qz&test=capture&frames=600")
check "F1 downloads a screenshot, Ctrl+S the cartridge ($got)" [ "$got" = "downloads: buttons_000.png buttons.qz  " ]
got=$(hooks "cart=buttons.qz&test=drop&frames=100" drop)
check "a cartridge dropped on the page plays ($got)" [ "$got" = "seen: seen dropped " ]

page "cart=no_such_cart.qz" >"$WORK/missing.html"
check "a cartridge that cannot be fetched is reported on the page" \
    grep -q "cannot load the cartridge no_such_cart.qz (http 404)" "$WORK/missing.html"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
