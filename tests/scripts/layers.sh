#!/bin/sh
# The folders under src/ are layers, and a file includes only folders of
# layers below its own (or its own folder):
#
#   framework, fixed, lua   0   (lua may also use fixed)
#   cart                    1
#   machine                 2
#   audio                   3
#   runtime                 4
#   capture, browser, board 5
#   app                     6
#
# Every "folder/file.h" include that points sideways or upward is printed
# and fails the test. Usage: layers.sh SOURCE_DIR
src="${1:-.}/src"
[ -d "$src" ] || { echo "no source folder $src"; exit 2; }
find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) | sort | while read -r file; do
    rel=${file#"$src"/}
    awk -v rel="$rel" '
    function rank(f) {
        if (f == "framework" || f == "fixed" || f == "lua") return 0
        if (f == "cart") return 1
        if (f == "machine") return 2
        if (f == "audio") return 3
        if (f == "runtime") return 4
        if (f == "capture" || f == "browser" || f == "board") return 5
        if (f == "app") return 6
        return -1
    }
    BEGIN { split(rel, p, "/"); from = p[1] }
    /^[ \t]*#[ \t]*include[ \t]*"[^"\/]+\/[^"]+"/ {
        target = $0
        sub(/^[^"]*"/, "", target); sub(/".*$/, "", target)
        split(target, q, "/"); to = q[1]
        if (rank(from) < 0 || rank(to) < 0 || to == from) next
        if (rank(to) < rank(from) || (from == "lua" && to == "fixed")) next
        printf "%s:%d: includes %s (%s is not below %s)\n", rel, FNR, target, to, from
    }' "$file"
done > "${TMPDIR:-/tmp}/vexel_layers.$$"
status=0
if [ -s "${TMPDIR:-/tmp}/vexel_layers.$$" ]; then
    cat "${TMPDIR:-/tmp}/vexel_layers.$$"
    status=1
fi
rm -f "${TMPDIR:-/tmp}/vexel_layers.$$"
exit $status
