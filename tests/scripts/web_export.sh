#!/bin/sh
# One web page to share a cartridge: `vexel -export NAME.html CART` writes a
# single HTML file (player, wasm and cartridge inside) that headless
# chromium plays straight from disk (file://, no server): with
# ?seed=S&frames=N it titles itself "vexel done HASH", which must equal
# what `vexel -x CART -frames N -seed S -screen-sha1` prints. Also: the
# #include files of a text cartridge go in joined, the console's export
# stays in the cartridge folder, and a missing player is explained. Needs
# the web build (build-web/); skipped (77) without emscripten, node or
# chromium.
#   web_export.sh VEXEL SOURCE_DIR BUILD_DIR
VEXEL=$1
SRC=$2
BUILD=$3
for tool in emcc node chromium; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (sh tools/install-deps.sh --web)"
        exit 77
    fi
done
if ! make -s -C "$SRC" web-build BUILD="$BUILD" >"$BUILD/web_export_build.log" 2>&1; then
    tail -30 "$BUILD/web_export_build.log"
    echo "FAILED: make web-build"
    exit 1
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
. "$(dirname "$0")/check.sh"
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
export VEXEL_WEB_PLAYER="$SRC/build-web"

# Moves every frame, draws from rnd: the seed and the frame count decide
# the picture.
mkdir "$WORK/carts" "$WORK/shared"
cat >"$WORK/carts/anim.qz" <<'CART'
vexel cartridge // moving circles
version 15
__lua__
#include parts/draw.lua
t = 0
function _update() t += 1 end
CART
mkdir "$WORK/carts/parts"
cat >"$WORK/carts/parts/draw.lua" <<'CART'
function _draw()
  cls(1)
  for i=1,8 do circfill(rnd(128), rnd(128), 2 + t % 9, 8 + i % 8) end
  print("frame "..t, 2, 2, 7)
end
CART

page_hash() {  # page_hash URL: the hash in the page's title once it settled
    timeout 90 chromium --headless --disable-gpu --no-sandbox --user-data-dir="$WORK/profile" \
        --virtual-time-budget=30000 --dump-dom "$1" 2>/dev/null |
        sed -n 's/.*<title>vexel done \([0-9a-f]*\)<\/title>.*/\1/p'
}
native_hash() {  # native_hash CART FRAMES SEED
    "$VEXEL" -x "$1" -frames "$2" -seed "$3" -screen-sha1 -home "$WORK/home" | sed -n 's/^screen sha1 //p'
}

"$VEXEL" -export "$WORK/anim.html" "$WORK/carts/anim.qz" -home "$WORK/home" >"$WORK/export.out" 2>&1
check "-export writes the page (status $?)" [ -s "$WORK/anim.html" ]
check "-export says where" grep -q "exported $WORK/anim.html" "$WORK/export.out"
check "the page loads no file of its own" sh -c '! grep -q "<script src=" "$1"' sh "$WORK/anim.html"
# Alone in a folder: it needs nothing beside it.
mv "$WORK/anim.html" "$WORK/shared/my game.html"
want=$(native_hash "$WORK/carts/anim.qz" 25 7)
got=$(page_hash "file://$WORK/shared/my%20game.html?seed=7&frames=25")
check "the page from disk shows the desktop's screen at frame 25 ($want, page: ${got:-none})" \
    [ -n "$want" -a "$want" = "$got" ]

# A cartridge that ends early leaves the same console screen too.
"$VEXEL" -export "$WORK/shared/shapes.html" "$SRC/tests/scripts/carts/draw_shapes.qz" -home "$WORK/home" >/dev/null 2>&1
want=$(native_hash "$SRC/tests/scripts/carts/draw_shapes.qz" 20 3)
got=$(page_hash "file://$WORK/shared/shapes.html?seed=3&frames=20")
check "a cartridge that ends: the same screen ($want, page: ${got:-none})" [ -n "$want" -a "$want" = "$got" ]

# Without a player: a clear message, status 1, no file.
VEXEL_WEB_PLAYER="$WORK/no_player" "$VEXEL" -export "$WORK/none.html" "$WORK/carts/anim.qz" \
    -home "$WORK/home" >"$WORK/none.out" 2>&1
status=$?
check "no player: status 1 ($status)" [ "$status" -eq 1 ]
check "no player: says to run make web" grep -q "run make web" "$WORK/none.out"
check "no player: no page" [ ! -e "$WORK/none.html" ]

# The console's export writes into the cartridge folder only.
cat >"$WORK/exporter.qz" <<'CART'
vexel cartridge // exports itself
version 15
__lua__
export("shared")
export("../outside.html")
export("picture.png")
CART
"$VEXEL" -x "$WORK/exporter.qz" -home "$WORK/home" >"$WORK/console.out" 2>&1
check "export NAME adds .html in carts/" [ -s "$WORK/home/carts/shared.html" ]
check "export says exported" grep -q "exported shared.html" "$WORK/console.out"
check "a name outside the cartridge folder is refused" grep -q "export: outside the cart folder" "$WORK/console.out"
check "nothing written outside" [ ! -e "$WORK/home/outside.html" ]
check "another kind of file is refused" grep -q "export: only NAME.html" "$WORK/console.out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
