#!/usr/bin/env bash
# Instruction counts of the 500-page appends (classic, and with object streams) under
# valgrind's callgrind: the total and the functions with the most instructions of their own,
# written to tools/bench/results/callgrind-<label>.txt so that a change that slows the
# engine shows as a larger count.
# Usage: tools/bench/callgrind.sh [foliobind] [label]   (defaults: build/foliobind, current)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:-$here/../../build/foliobind}
label=${2:-current}
inputs=${BENCH_DIR:-/tmp/foliobind-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$inputs" "$here/results"
result=$here/results/callgrind-$label.txt
: > "$result"
for form in classic objstm; do
    a=$inputs/500-$form-a.pdf
    b=$inputs/500-$form-b.pdf
    if [ ! -f "$a" ] || [ ! -f "$b" ] || [ "$a" -ot "$here/make_pair.py" ]; then
        python3 "$here/make_pair.py" pair "$a" "$b" --pages 500 --form "$form"
    fi
    valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$exe" "$a" "$b" -o"$work/out.pdf" -quiet \
        > /dev/null 2> "$work/valgrind.txt"
    {
        echo "== 500-page $form pair: $exe $(basename "$a") $(basename "$b")"
        callgrind_annotate --threshold=98 "$work/cg.out" > "$work/annotated.txt" 2>/dev/null
        grep -E "PROGRAM TOTALS|^ *[0-9,]+ \([ 0-9.]+%\) " "$work/annotated.txt" | sed -e 's/ \[[^]]*\]$//' |
            sed -n 1,16p
        echo
    } >> "$result"
done
cat "$result"
