#!/usr/bin/env bash
# Instruction counts of the real-world pairs that bench.py --realworld 10 times (the ten largest
# files of ../shared/corpus/realworld, paired by size, both orders), under valgrind's callgrind:
# one total per pair and the five functions with the most instructions of their own, written to
# tools/bench/results/callgrind-realworld-<label>.txt.
# Usage: tools/bench/callgrind-realworld.sh [foliobind] [label]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:-$here/../../build/foliobind}
label=${2:-current}
corpus=$here/../../../shared/corpus/realworld
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
result=$here/results/callgrind-realworld-$label.txt
: > "$result"
mapfile -t files < <(ls -S "$corpus"/*.pdf | head -10)
for ((i = 0; i + 1 < ${#files[@]}; i += 2)); do
    for pair in "${files[i]} ${files[i+1]}" "${files[i+1]} ${files[i]}"; do
        read -r a b <<<"$pair"
        valgrind --tool=callgrind --callgrind-out-file="$work/out" "$exe" "$a" "$b" -o"$work/o.pdf" -quiet \
            >/dev/null 2>&1
        callgrind_annotate "$work/out" >"$work/annotated" 2>/dev/null
        {
            echo "== $(basename "$a") + $(basename "$b")"
            # head stops reading early; grep's broken pipe is no failure
            { grep -E "PROGRAM TOTALS|^ *[0-9,]+ \(" "$work/annotated" || true; } | head -6 || true
        } >>"$result"
    done
done
grep -A1 "^==" "$result"
