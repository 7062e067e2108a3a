#!/bin/sh
# Installs the Debian packages vexel needs to build, run and test, asking
# apt-get only for those that are missing. Uses sudo when not run as root.
set -e

# Debian installs node modules (acorn, for emscripten's optimiser) in
# /usr/share/nodejs, which a node from elsewhere does not search; the
# Makefile passes NODE_PATH, and this says so for emcc run by hand.
web_node_path_note() {
    if ! node -e 'require("acorn")' 2>/dev/null; then
        echo "note: emcc needs NODE_PATH=/usr/share/nodejs (make web sets it)"
    fi
}
PACKAGES="build-essential cmake pkg-config libsdl2-dev libpng-dev libgif-dev liblz4-dev libcurl4-openssl-dev libsqlite3-dev"
if [ "$1" = "--test" ]; then
    PACKAGES="$PACKAGES libgtest-dev xvfb xauth xdotool x11-apps imagemagick lua5.2 nginx python3"
elif [ "$1" = "--fuzz" ]; then
    PACKAGES="clang"
elif [ "$1" = "--web" ]; then
    # The web build (make web) and its tests: the compiler, the node module
    # its optimiser loads, and a browser to run the player page headless.
    PACKAGES="emscripten node-acorn nodejs chromium"
fi
missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
if [ -z "$missing" ]; then
    [ "$1" = "--web" ] && web_node_path_note
    exit 0
fi
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
[ "$1" = "--web" ] && web_node_path_note
exit 0
