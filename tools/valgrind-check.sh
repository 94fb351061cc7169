#!/usr/bin/env bash
# valgrind memcheck over the sample job and a sample of the shared corpus (as first and as
# second input). Fails on any memory error or definite leak. Usage: tools/valgrind-check.sh [build]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build}/foliobind
corpus=../shared/corpus/peers
sample=testdata/samples/sample-c-plain.pdf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check() {
    local status=0
    valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect -q \
        "$program" "$1" "$2" "-o$work/out.pdf" -quiet > /dev/null 2> "$work/err" || status=$?
    if [ "$status" = 99 ] || [ -s "$work/err" ]; then
        echo "memcheck: $1 + $2"; cat "$work/err"; return 1
    fi
}

check testdata/samples/sample-a-classic.pdf testdata/samples/sample-b-xrefstream.pdf
count=1
if [ -d "$corpus" ]; then
    # Every tenth corpus file, in name order: a fixed sample of both kinds of input.
    for file in $(ls "$corpus"/*.pdf | sort | awk 'NR % 10 == 1'); do
        check "$file" "$sample"
        check "$sample" "$file"
        count=$((count + 2))
    done
fi
echo "valgrind memcheck clean on $count runs"
