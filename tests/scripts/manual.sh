#!/bin/sh
# The manual: vexel.txt lies beside the built program as the source folder
# has it, names every option of `vexel -h`, gives every function a program
# sees a line of its own ("  name arguments  what it does", the arguments
# as the program's function table gives them through `vexel -list-api`),
# keeps to 78 columns and shows no web address.
#   manual.sh VEXEL SOURCE_DIR
VEXEL=$1
SRC=$2
MANUAL=$(dirname "$VEXEL")/vexel.txt
. "$(dirname "$0")/check.sh"
set -f  # the argument lists hold brackets: no file-name expansion

if [ ! -f "$MANUAL" ]; then
    echo "FAILED: no vexel.txt beside $VEXEL"
    exit 1
fi
check "vexel.txt beside the program is the one of the source folder" cmp -s "$MANUAL" "$SRC/vexel.txt"

# has_line TEXT: a line of the manual starts with TEXT followed by the end
# of the line or a blank.
has_line() {
    awk -v want="$1" 'index($0, want) == 1 && (length($0) == length(want) || substr($0, length(want) + 1, 1) == " ") { found = 1 }
        END { exit !found }' "$MANUAL"
}

table=$(env SDL_VIDEODRIVER=dummy "$VEXEL" -list-api)
count=$(printf '%s\n' "$table" | grep -c .)
check "the function table was read ($count entries)" [ "$count" -gt 100 ]
for entry in $(printf '%s\n' "$table" | tr ' ' '~'); do
    name=${entry%%|*}
    usage=$(printf '%s' "${entry#*|}" | tr '~' ' ')
    check "a line for $name${usage:+ $usage}" has_line "  $name${usage:+ $usage}"
done

# The functions the program header defines in the language itself.
header=$(grep -o 'function [a-z_][a-z_]*(' "$SRC/src/runtime/header.cpp" | sed 's/function \(.*\)(/\1/')
check "the header functions were read" [ -n "$header" ]
for name in $header; do
    check "a line for $name" has_line "  $name"
done

options=$(env SDL_VIDEODRIVER=dummy "$VEXEL" -h | grep '^  -' | cut -c1-22 | grep -o -- '-[a-z_][a-z_0-9-]*')
check "vexel -h lists options" [ -n "$options" ]
for option in $options; do
    check "option $option" grep -qw -e "$option" "$MANUAL"
done

check "no web address" sh -c '! grep -qi "http" "$1"' sh "$MANUAL"
long=$(awk 'length($0) > 78 { print FILENAME ":" NR ": " length($0) " columns" }' "$MANUAL")
[ -z "$long" ] || echo "$long"
check "lines of at most 78 columns" [ -z "$long" ]

[ "$failed" -eq 0 ]
