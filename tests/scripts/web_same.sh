#!/bin/sh
# The web build runs the same machine: the node runner (build-web/vexel-x.js)
# prints the same lines and writes the same screenshot and sound bytes as the
# desktop program for the same cartridge, seed, frames and input.
#   web_same.sh VEXEL SOURCE_DIR BUILD_DIR
# Skipped (status 77) when emscripten or node is not installed. Builds the
# web build first (`make web-build`; incremental after the first time).
VEXEL=$1
SRC=$2
BUILD=$3
WEB="$SRC/build-web"
if ! command -v emcc >/dev/null 2>&1 || ! command -v node >/dev/null 2>&1; then
    echo "skipped: the web build needs emcc and node (sh tools/install-deps.sh --web)"
    exit 77
fi
if ! make -s -C "$SRC" web-build BUILD="$BUILD" >"$BUILD/web_build.log" 2>&1; then
    tail -30 "$BUILD/web_build.log"
    echo "FAILED: make web"
    exit 1
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
. "$(dirname "$0")/check.sh"

# Random numbers (no srand), noise and tones on two voices, buttons from a
# replay file: everything a seed decides.
cat >"$WORK/dice.qz" <<'CART'
vexel cartridge // web comparison
version 14
__lua__
function note(a, v) poke(a, v % 256) poke(a + 1, flr(v / 256)) end
for i=0,31 do note(0x3200+2*i, 30 + 6*64 + 5*512) note(0x3200+68+2*i, 20+i + 6*64 + 4*512) end
poke(0x3200+65, 3) poke(0x3200+68+65, 5)
sfx(0, 0) sfx(1, 1)
x, y = 64, 64
function _update()
  if btn(0) then x -= 1 end
  if btn(1) then x += 1 end
  if btn(4) then sfx(1, 2) end
  printh(flr(rnd(10000)).." "..x.." "..y.." "..tostr(rnd(), true))
end
function _draw()
  for i=1,20 do pset(rnd(128), rnd(128), rnd(16)) end
  circfill(x, y, 5, 8 + flr(rnd(4)))
  print("\^w\#2dice", 2, 2, 7)
end
CART
printf '2\n2\n2\n1\n1\n16\n0\n16\n4\n4\n' >"$WORK/input.txt"

same_file() {  # both missing, or the same bytes
    { [ ! -e "$1" ] && [ ! -e "$2" ]; } || cmp "$1" "$2"
}

compare() {  # compare NAME CART FRAMES
    case_name=$1
    cart=$2
    set -- -x "$cart" -fast -frames "$3" -seed 11 -input "$WORK/input.txt" -screenshot_scale 1
    [ "$4" = png ] && set -- "$@" -screen-sha1
    "$VEXEL" "$@" -home "$WORK/$case_name.native_home" -screenshot "$WORK/$case_name.native.png" -wav "$WORK/$case_name.native.wav" \
        >"$WORK/$case_name.native.out" 2>"$WORK/$case_name.native.err"
    native_status=$?
    node "$WEB/vexel-x.js" "$@" -home "$WORK/$case_name.web_home" -screenshot "$WORK/$case_name.web.png" -wav "$WORK/$case_name.web.wav" \
        >"$WORK/$case_name.web.out" 2>"$WORK/$case_name.web.err"
    web_status=$?
    check "$case_name: the same exit status ($native_status)" [ "$native_status" -eq "$web_status" ]
    check "$case_name: the same printed lines" cmp "$WORK/$case_name.native.out" "$WORK/$case_name.web.out"
    # A cartridge that ends before its last frame leaves the console's
    # prompt on screen, whose cursor blinks by the wall clock: the screen
    # (-screen-sha1, in the output, and the PNG bytes) is compared only for
    # cartridges that run through every frame.
    [ "$4" = png ] && check "$case_name: the same screenshot bytes" \
        same_file "$WORK/$case_name.native.png" "$WORK/$case_name.web.png"
    check "$case_name: the same sound bytes" same_file "$WORK/$case_name.native.wav" "$WORK/$case_name.web.wav"
    # Files the node runner writes get the same permissions (0644 with a
    # umask of 022), not none.
    [ "$4" = png ] && check "$case_name: the screenshot's permissions are the desktop's" \
        [ "$(stat -c %a "$WORK/$case_name.native.png")" = "$(stat -c %a "$WORK/$case_name.web.png")" ]
}

CARTS="$SRC/tests/scripts/carts"
compare dice "$WORK/dice.qz" 40 png
compare drawing "$CARTS/draw_shapes.qz" 20
compare coroutines "$CARTS/coroutines.qz" 20
compare print_codes "$CARTS/print_codes.qz" 20
compare format15 "$CARTS/format15_mix.qz" 20
compare runtime_error "$CARTS/runtime_error.qz" 10

# A file written through the framework's writer (save data, here) too.
cat >"$WORK/saver.qz" <<'CART'
vexel cartridge // save data
version 15
__lua__
cartdata("web_same_saver")
dset(0, 42)
CART
(umask 022
 "$VEXEL" -x "$WORK/saver.qz" -home "$WORK/saver.native_home" >/dev/null 2>&1
 node "$WEB/vexel-x.js" -x "$WORK/saver.qz" -home "$WORK/saver.web_home" >/dev/null 2>&1)
check "save data: written by both with mode 644" \
    [ "$(stat -c %a "$WORK/saver.native_home/cdata/web_same_saver.qzd.txt" 2>&1)" = 644 \
      -a "$(stat -c %a "$WORK/saver.web_home/cdata/web_same_saver.qzd.txt" 2>&1)" = 644 ]

# A missing cartridge is refused the same way, without a crash.
compare missing "$WORK/no_such_cart.qz" 5

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
