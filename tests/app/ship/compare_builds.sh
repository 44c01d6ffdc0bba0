#!/usr/bin/env bash
# compare_builds.sh OBJDUMP EXE SECOND_EXE
# Fails unless EXE and SECOND_EXE (the same tree built in another folder) and
# their debug files beside them are the same byte for byte, and unless EXE is
# stripped and names its debug file.
set -euo pipefail
objdump=$1 exe=$2 second=$3
debug=${exe%.exe}.debug second_debug=${second%.exe}.debug
status=0

echo "$(basename "$exe"): $(stat -c %s "$exe") bytes, $(basename "$debug"): $(stat -c %s "$debug") bytes"
sections=$("$objdump" -h "$exe")
if echo "$sections" | grep -q ' \.debug_'; then
    echo "$exe still holds debug sections"; status=1
fi
link=$("$objdump" -s -j .gnu_debuglink "$exe" 2>/dev/null | sed -n 's/^ [0-9a-f]* .*  //p' | tr -d '\n')
case "$link" in
    "$(basename "$debug")"*) ;;
    *) echo "$exe names no debug file $(basename "$debug") (.gnu_debuglink: '$link')"; status=1 ;;
esac

for pair in "$exe $second" "$debug $second_debug"; do
    set -- $pair
    if cmp -s "$1" "$2"; then
        echo "same: $1 and $2"
    else
        status=1
        echo "DIFFERENT: $1 and $2 ($(cmp -l "$1" "$2" 2>/dev/null | wc -l) bytes differ; first offsets, octal values):"
        cmp -l "$1" "$2" 2>/dev/null | head -n 10 || true
        diff <("$objdump" -p "$1" | head -n 40) <("$objdump" -p "$2" | head -n 40) || true
    fi
done
exit $status
