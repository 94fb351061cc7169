#!/usr/bin/env bash
# Prints, for every pair of the peer corpus (each file first, paired as the corpus round-trip
# test pairs them) and each file appended to itself, the exit status and the sha256 of
# the output. Two runs of this script from different builds must print the same lines: speed
# work may not change a single output byte.
# Usage: tools/bench/output-sums.sh [foliobind] > sums.txt
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$here/build/foliobind}
corpus=$here/../shared/corpus/peers
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ -d "$corpus" ] || { echo "no corpus at $corpus" >&2; exit 1; }

# The output's sum; a failed run leaves an incomplete output whose length depends on how far
# buffers had been written, so only its presence counts.
output_sum() {
    if [ ! -f "$work/out.pdf" ]; then
        echo none
    elif [ "$1" -ne 0 ]; then
        echo incomplete
    else
        sha256sum < "$work/out.pdf" | cut -c1-64
    fi
}
files=("$corpus"/*.[pP][dD][fF])
n=${#files[@]}
for ((i = 0; i < n; i++)); do
    j=$(( (i * 7 + 3) % n ))
    for options in "-quiet" "-quiet -nobookmarks"; do
        # shellcheck disable=SC2086
        timeout 20 "$exe" "${files[$i]}" "${files[$j]}" -o"$work/out.pdf" $options > "$work/stdout"
        status=$?
        sum=$(output_sum "$status")
        echo "$status $sum $(sha256sum < "$work/stdout" | cut -c1-12) ${files[$i]##*/} ${files[$j]##*/} $options"
        rm -f "$work/out.pdf"
    done
    # A file appended to itself: everything but its pages is a duplicate candidate.
    timeout 20 "$exe" "${files[$i]}" "${files[$i]}" -o"$work/out.pdf" -quiet > "$work/stdout"
    status=$?
    sum=$(output_sum "$status")
    echo "$status $sum $(sha256sum < "$work/stdout" | cut -c1-12) ${files[$i]##*/} itself"
    rm -f "$work/out.pdf"
done
