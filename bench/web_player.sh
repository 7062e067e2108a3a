#!/bin/sh
# The web player's figures (a benchmark: prints, checks nothing):
#   - host time of a machine frame whose program spends its whole CPU
#     budget (bench/frame.cpp's program), in the page (headless chromium),
#     in the node runner (the same wasm under node) and native (vexel -x);
#   - time from the page's navigation to its first picture, served from
#     loopback (best of a few fresh browser profiles);
#   - gzip -9 sizes of vexel.wasm and vexel.js, what a server sends.
# The page reports its times to the loopback server it was loaded from
# (bench.js requests /report?...), so they are the browser's own clock,
# not virtual time.
#   sh bench/web_player.sh [BUILD_DIR]     (needs make web first; chromium, python3)
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$SRC/build}
WEB=$SRC/build-web
FRAMES=${FRAMES:-300}
for f in "$WEB/vexel.wasm" "$WEB/vexel-x.js" "$BUILD/vexel"; do
    [ -e "$f" ] || { echo "missing $f: run make web (and make)"; exit 1; }
done
for tool in chromium python3 node gzip; do
    command -v $tool >/dev/null 2>&1 || { echo "needs $tool"; exit 1; }
done
WORK=$(mktemp -d)
SERVER=""
trap '[ -n "$SERVER" ] && kill "$SERVER"; rm -rf "$WORK"' EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

cat >"$WORK/full.qz" <<'CART'
vexel cartridge // the whole CPU budget every frame
version 15
__lua__
t={} for i=1,256 do t[i]=i end
function _update() end
function _draw()
 while true do
  for i=1,256 do
   local v=(t[i]*3+1)%1000 t[i]=v
   pset(i%128,flr(i/2),v%16)
  end
  circfill(64,64,20,8) rectfill(0,0,30,30,3)
 end
end
CART

now_ms() { date +%s%N | cut -c1-13; }
# per_frame COMMAND...: ms per machine frame, (time of FRAMES frames - time of 1) / (FRAMES - 1), best of 3.
per_frame() {
    best=""
    for run in 1 2 3; do
        t0=$(now_ms); "$@" -frames 1 >/dev/null 2>&1; t1=$(now_ms)
        "$@" -frames "$FRAMES" >/dev/null 2>&1; t2=$(now_ms)
        v=$(( (t2 - t1) - (t1 - t0) ))
        [ -z "$best" ] || [ "$v" -lt "$best" ] && best=$v
    done
    echo "$best $FRAMES" | awk '{ printf "%.2f", $1 / ($2 - 1) }'
}
native=$(per_frame "$BUILD/vexel" -x "$WORK/full.qz" -fast -home "$WORK/home")
node_ms=$(per_frame node "$WEB/vexel-x.js" -x "$WORK/full.qz" -fast -home "$WORK/home")

mkdir "$WORK/site"
cp "$WEB/vexel.html" "$WEB/player.js" "$WEB/vexel.js" "$WEB/vexel.wasm" "$WORK/full.qz" "$SRC/assets/carts/game.qz" "$WORK/site/"
cat >"$WORK/site/bench.js" <<'JS'
(function () {
    var first = 0, marks = [];
    function mark(name) { marks.push(name + "=" + performance.now().toFixed(1)); }
    function report(text) { fetch("report?" + text).catch(function () {}); }
    mark("script");
    var initialized = Module.onRuntimeInitialized;
    Module.onRuntimeInitialized = function () { mark("runtime"); initialized(); };
    // vexel.js sets callMain later: wrapped as it is set.
    var callMain = null;
    Object.defineProperty(Module, "callMain", { configurable: true, get: function () { return callMain; },
        set: function (f) { callMain = function (a) { mark("main"); var r = f(a); mark("started"); return r; }; } });
    var present = Module.vexelPresent, print = Module.print;
    Module.vexelPresent = function (rgba, w, h) {
        if (!first) { first = performance.now(); report("first=" + first.toFixed(1) + "&" + marks.join("&")); }
        present(rgba, w, h);
    };
    Module.print = function (line) {
        print(line);
        if (/^screen sha1 /.test(line)) report("first=" + first.toFixed(1) + "&done=" + performance.now().toFixed(1));
    };
})();
JS
sed 's|<script src="player.js"></script>|<script src="player.js"></script><script src="bench.js"></script>|' \
    "$WEB/vexel.html" >"$WORK/site/bench.html"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$PORT" --bind 127.0.0.1 --directory "$WORK/site" >"$WORK/server.log" 2>&1 &
SERVER=$!
sleep 1
visit() {  # visit QUERY SECONDS: a fresh profile, for SECONDS of real time
    rm -rf "$WORK/profile"
    timeout "$2" chromium --headless --disable-gpu --no-sandbox --user-data-dir="$WORK/profile" \
        "http://127.0.0.1:$PORT/bench.html?$1" >/dev/null 2>&1
}
# The browser's own share: when the script of an empty page runs (a fresh
# profile of headless chromium takes its time before any page script).
echo '<!doctype html><script>fetch("report?empty=" + performance.now().toFixed(1))</script>' >"$WORK/site/empty.html"
: >"$WORK/server.log"
rm -rf "$WORK/profile"
timeout 10 chromium --headless --disable-gpu --no-sandbox --user-data-dir="$WORK/profile" \
    "http://127.0.0.1:$PORT/empty.html" >/dev/null 2>&1
empty=$(sed -n 's/.*GET \/report?empty=\([0-9.]*\) .*/\1/p' "$WORK/server.log" | head -1)
first_best=""
for run in 1 2 3; do
    : >"$WORK/server.log"
    visit "cart=game.qz" 8
    report=$(sed -n 's/.*GET \/report?\(first=[^ ]*\) .*/\1/p' "$WORK/server.log" | head -1)
    v=$(echo "$report" | sed -n 's/^first=\([0-9.]*\).*/\1/p')
    if [ -n "$v" ] && { [ -z "$first_best" ] || awk -v a="$v" -v b="$first_best" 'BEGIN { exit !(a < b) }'; }; then
        first_best=$v
        # Where the time went: the page's scripts running, the wasm ready,
        # the machine's start (callMain), its first picture.
        stages=$(echo "$report" | tr '&' '\n' | awk -F= '{ t[$1] = $2 } END {
            printf "scripts run at %.0f, wasm ready +%.0f, cartridge fetched and machine started +%.0f, first frame +%.0f",
                t["script"], t["runtime"] - t["script"], t["started"] - t["runtime"], t["first"] - t["started"] }')
    fi
done
: >"$WORK/server.log"
visit "cart=full.qz&frames=$FRAMES&seed=1" 60
line=$(sed -n 's/.*GET \/report?first=\([0-9.]*\)&done=\([0-9.]*\) .*/\1 \2/p' "$WORK/server.log" | head -1)
page=$(echo "$line $FRAMES" | awk 'NF == 3 { printf "%.2f", ($2 - $1) / ($3 - 1) }')

wasm_gz=$(gzip -9 -c "$WEB/vexel.wasm" | wc -c)
js_gz=$(gzip -9 -c "$WEB/vexel.js" | wc -c)
echo "full-budget machine frame: native ${native} ms, node runner ${node_ms} ms, page ${page:-?} ms" \
     "(page/native $(echo "$page $native" | awk '$2 > 0 && $1 != "" { printf "%.2fx", $1 / $2 }'))"
echo "first picture after page load (loopback, fresh profile, best of 3): ${first_best:-?} ms ($stages ms;" \
     "an empty page's script runs at ${empty:-?} ms)"
echo "gzip -9: vexel.wasm $wasm_gz bytes, vexel.js $js_gz bytes, together" \
     "$(echo "$wasm_gz $js_gz" | awk '{ printf "%.2f MiB", ($1 + $2) / 1048576 }')"
