#!/bin/sh
# The -input option of the console binary: replay files are checked at start-up.
#   input.sh VEXEL
VEXEL=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
HOME_DIR="$WORK/home"
. "$(dirname "$0")/check.sh"

printf '0\n16\n16\n0\n' >"$WORK/good.txt"
"$VEXEL" -headless -frames 6 -home "$HOME_DIR" -input "$WORK/good.txt" >/dev/null 2>&1
check "a good replay runs" [ $? -eq 0 ]

printf '16\n\n17\n' >"$WORK/gap.txt"
err=$("$VEXEL" -headless -frames 2 -home "$HOME_DIR" -input "$WORK/gap.txt" 2>&1 >/dev/null)
check "a blank line in the middle is refused" [ $? -eq 1 ]
check "the refusal names the line" [ "$err" = "vexel: input file $WORK/gap.txt has a line that is not a decimal number (line 2)" ]

printf '70000\n' >"$WORK/big.txt"
"$VEXEL" -headless -frames 2 -home "$HOME_DIR" -input "$WORK/big.txt" >/dev/null 2>&1
check "a value above 16 bits is refused" [ $? -eq 1 ]

err=$("$VEXEL" -headless -frames 2 -home "$HOME_DIR" -input "$WORK/none.txt" 2>&1 >/dev/null)
check "a missing file is refused" [ $? -eq 1 ]
check "the refusal names the file" [ "$err" = "vexel: input file $WORK/none.txt cannot be read" ]

"$VEXEL" -h | grep -q -- "-input FILE"
check "-h documents -input" [ $? -eq 0 ]

[ "$failed" -eq 0 ]
