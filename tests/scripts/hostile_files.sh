#!/bin/sh
# Hostile cartridges and a planted data folder, through the real binary:
# links leading out of cstore/, cdata/ and carts/, links planted under the
# names of temporary files, FIFOs and folders where files are expected, and
# writes that fail for a file-size limit. Every run must end by itself with
# status 0, 1 or 2, say what went wrong, and leave everything outside the
# data folder (and behind every link) as it was.
#   hostile_files.sh VEXEL
VEXEL=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
. "$(dirname "$0")/check.sh"

H="$WORK/home"          # the data folder (-home)
OUT="$WORK/outside"     # what planted links lead to
RUN="$WORK/run"         # cartridges and their output
mkdir -p "$H/carts" "$H/cstore" "$H/cdata" "$OUT" "$RUN" "$WORK/userhome"
HOME="$WORK/userhome"   # nothing may land in the real home either
export HOME

printf 'victim' >"$OUT/victim.txt"
printf 'vexel cartridge\nversion 14\n__lua__\n-- secret\n' >"$OUT/secret.qz"
snapshot() { (cd "$OUT" && find . | sort && find . -type f -exec cat {} +); }
OUT_BEFORE=$(snapshot)

# cart NAME: writes the program on standard input as cartridge NAME and runs
# it; the output goes to $RUN/NAME.out and the status to $status.
cart() {
    { printf 'vexel cartridge\nversion 14\n__lua__\n'; cat; } >"$RUN/$1.qz"
    timeout -k 5 20 "$VEXEL" -x "$RUN/$1.qz" -fast -home "$H" >"$RUN/$1.out" 2>"$RUN/$1.err"
    status=$?
}
ended() { [ "$status" -eq 0 ] || [ "$status" -eq 1 ] || [ "$status" -eq 2 ]; }
said() { grep -qxF "$2" "$RUN/$1.out"; }
regular() { [ -f "$1" ] && [ ! -L "$1" ]; }
victim_intact() { [ "$(cat "$OUT/victim.txt")" = victim ]; }

# Links in the store folder lead nowhere a program may go.
ln -s "$OUT" "$H/cstore/outdir"
ln -s "$OUT/secret.qz" "$H/cstore/secret.qz"
ln -s "$H/cstore/nowhere.qz" "$H/cstore/dangling.qz"
cart store_links <<'EOF'
printh(cstore(0, 0, 16, "outdir/evil.qz"))
printh(cstore(0, 0, 16, "secret.qz"))
printh(cstore(0, 0, 16, "dangling.qz"))
printh(reload(0x8000, 0, 16, "secret.qz"))
printh(reload(0x8000, 0, 16, "outdir/secret.qz"))
EOF
check "store links: ends" ended
check "store links: cstore refused" said store_links "** cstore: outside the store folder"
check "store links: reload refused" said store_links "** reload: outside the store folder"
check "store links: nothing copied" [ "$(grep -c '^0$' "$RUN/store_links.out")" -eq 5 ]
check "store links: no file through the folder link" [ ! -e "$OUT/evil.qz" ]
check "store links: dangling link not created through" [ ! -e "$H/cstore/nowhere.qz" ]

# Save data behind a link leading out is neither read nor written.
ln -s "$OUT/victim.txt" "$H/cdata/spy.qzd.txt"
cart cdata_link <<'EOF'
printh(cartdata("spy"))
dset(0, 5)
EOF
check "cdata link: ends with 0" [ "$status" -eq 0 ]
check "cdata link: refused" said cdata_link "** cartdata: outside the cdata folder"
check "cdata link: not loaded" said cdata_link "false"
check "cdata link: victim intact" victim_intact

# Links planted under temporary-file names: old-style, of a finished writer,
# and a file of a running one (this shell), which must be kept.
sh -c 'exit 0' &
dead=$!
wait "$dead"
ln -s "$OUT/victim.txt" "$H/cstore/store.qz.part"
ln -s "$OUT/victim.txt" "$H/cdata/good.qzd.txt.part"
ln -s "$OUT/victim.txt" "$H/carts/saved.qz.part"
ln -s "$OUT/victim.txt" "$H/carts/saved.qz.$dead.0123456789abcdef.part"
live="$H/carts/other.qz.$$.0123456789abcdef.part"
printf 'being written' >"$live"
cart part_links <<'EOF'
printh(cstore(0, 0, 16, "store.qz"))
cartdata("good")
dset(0, 7)
save("saved")
EOF
check "part links: ends with 0" [ "$status" -eq 0 ]
check "part links: saved" said part_links "** saved saved.qz"
check "part links: victim intact" victim_intact
check "part links: stored file is a file" regular "$H/cstore/store.qz"
check "part links: save data is a file" regular "$H/cdata/good.qzd.txt"
check "part links: cartridge is a file" regular "$H/carts/saved.qz"
check "part links: stale ones removed" [ -z "$(find "$H" -name '*.part' ! -name 'other.qz.*')" ]
check "part links: a live writer's file kept" [ "$(cat "$live")" = "being written" ]
rm -f "$live"

# FIFOs and folders where a cartridge is expected never block.
mkfifo "$RUN/fifo.qz"
timeout -k 5 20 "$VEXEL" -x "$RUN/fifo.qz" -fast -home "$H" >"$RUN/fifo.out" 2>&1
status=$?
check "fifo cartridge: exits 1" [ "$status" -eq 1 ]
check "fifo cartridge: says so" said fifo "could not load $RUN/fifo.qz (not a regular file)"
timeout -k 5 20 "$VEXEL" -x "$H/carts" -fast -home "$H" >"$RUN/folder.out" 2>&1
status=$?
check "folder cartridge: exits 1" [ "$status" -eq 1 ]
check "folder cartridge: says so" said folder "could not load $H/carts (a folder, not a cartridge)"
mkfifo "$H/carts/pipe.qz" "$H/cstore/pipe.qz" "$H/cdata/pipe.qzd.txt"
cart fifos <<'EOF'
printh(load("pipe"))
printh(load("pipe.qz"))
printh(reload(0x8000, 0, 16, "pipe.qz"))
printh(cstore(0, 0, 16, "pipe.qz"))
printh(cartdata("pipe"))
EOF
check "fifos: end with 0" [ "$status" -eq 0 ]
check "fifos: load fails" [ "$(grep -c '^false$' "$RUN/fifos.out")" -eq 3 ]
check "fifos: reload refused" said fifos "** reload: not a regular file"
check "fifos: cstore refused" said fifos "** cstore: not a regular file"
check "fifos: cartdata refused" said fifos "** cartdata: not a regular file"
all_fifos() { [ -p "$H/carts/pipe.qz" ] && [ -p "$H/cstore/pipe.qz" ] && [ -p "$H/cdata/pipe.qzd.txt" ]; }
check "fifos: still FIFOs" all_fifos

# Names that resolve to a folder are no file names.
mkdir -p "$H/cstore/sub"
cart folders <<'EOF'
save(".")
save("/")
printh(cstore(0, 0, 16, "sub"))
EOF
check "folders: end with 0" [ "$status" -eq 0 ]
check "folders: save refused" [ "$(grep -cxF '** save: name is a folder' "$RUN/folders.out")" -eq 2 ]
check "folders: cstore refused" said folders "** cstore: name is a folder"
check "folders: no file beside the cart folder" [ ! -e "$H/carts.qz" ]
check "folders: no file beside the store folder" [ ! -e "$H/cstore/sub.qz" ]

# Writes that fail for a file-size limit say why and keep what was there:
# the settings above all, which are written at exit.
cp "$H/config.txt" "$RUN/config.before"
printf 'vexel cartridge\nversion 14\n__lua__\nsave("full")\ncstore(0, 0, 0x4300, "full.qz")\ncartdata("full")\ndset(0, 1)\n' \
    >"$RUN/full.qz"
(ulimit -f 1 && exec timeout -k 5 20 "$VEXEL" -x "$RUN/full.qz" -fast -home "$H") >"$RUN/full.out" 2>"$RUN/full.err"
status=$?
check "size limit: ends with 0" [ "$status" -eq 0 ]
check "size limit: save says so" said full "** save: file too large"
check "size limit: cstore says so" said full "** cstore: file too large"
check "size limit: cartdata says so" said full "** cartdata: file too large"
check "size limit: config.txt intact" cmp -s "$H/config.txt" "$RUN/config.before"
none_written() { [ ! -e "$H/carts/full.qz" ] && [ ! -e "$H/cstore/full.qz" ] && [ ! -e "$H/cdata/full.qzd.txt" ]; }
check "size limit: nothing half-written" none_written
check "size limit: no temporary files left" [ -z "$(find "$H" -name '*.part')" ]

# Nothing outside the data folder changed, and nothing appeared beside it.
check "outside folder unchanged" [ "$(snapshot)" = "$OUT_BEFORE" ]
check "nothing beside the data folder" [ "$(ls "$WORK" | tr '\n' ' ')" = "home outside run userhome " ]
check "nothing in the user's home" [ -z "$(ls -A "$WORK/userhome")" ]
check "data folder holds only its own" \
    [ "$(ls "$H" | tr '\n' ' ')" = "backup bbs carts cdata config.txt cstore log.txt plates " ]

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
