#!/bin/sh
# Installs the Debian packages vexel needs to build, run and test, asking
# apt-get only for those that are missing. Uses sudo when not run as root.
set -e
PACKAGES="build-essential cmake pkg-config libsdl2-dev libpng-dev libgif-dev liblz4-dev libcurl4-openssl-dev libsqlite3-dev"
if [ "$1" = "--test" ]; then
    PACKAGES="$PACKAGES libgtest-dev xvfb xauth xdotool x11-apps lua5.2 nginx python3"
elif [ "$1" = "--fuzz" ]; then
    PACKAGES="clang"
fi
missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
