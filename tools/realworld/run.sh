#!/usr/bin/env bash
# Appends every pair of tools/realworld/pairs.txt with BINARY and judges each output with
# judge.py (pikepdf, qpdf --check, pdftoppm). Prints per-check counts and the clean pairs;
# exits 1 when a pair fails beyond tools/realworld/known.txt or a known failure now passes,
# 77 (skipped) when the corpus or pikepdf is missing.
#   tools/realworld/run.sh BINARY [OUTDIR]
# OUTDIR keeps the judge's lines per pair (NNN.txt) and failures.txt, and with KEEP_OUTPUTS=1
# the outputs (NNN.pdf). With REALWORLD_RECORD=1 known.txt is rewritten to this run's failures;
# REALWORLD_ONLY=REGEX judges only the lines of pairs.txt that match it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
corpus=${FOLIOBIND_REALWORLD:-$here/../../../shared/corpus/realworld}
python=/usr/bin/python3

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
    echo "usage: tools/realworld/run.sh BINARY [OUTDIR]" >&2
    exit 2
fi
if [ ! -d "$corpus" ]; then
    echo "real-world pairs skipped: no corpus at $corpus"
    exit 77
fi
if ! "$python" -c 'import pikepdf' 2>/dev/null; then
    echo "real-world pairs skipped: $python has no pikepdf (apt-get install python3-pikepdf)"
    exit 77
fi

binary=$(realpath "$1")
if [ $# -ge 2 ]; then
    outdir=$(realpath -m "$2")
    mkdir -p "$outdir"
    rm -f "$outdir"/[0-9]*.txt "$outdir"/[0-9]*.pdf
else
    outdir=$(mktemp -d "${TMPDIR:-/tmp}/foliobind-realworld.XXXXXX")
    trap 'rm -rf "$outdir"' EXIT
fi
mkdir -p "$outdir/cache"

# One pair: "NNN FIRST SECOND [OPTIONS]" -> NNN.txt holding the pair line and the judge's lines.
judge_pair() {
    local id=$1 first=$2 second=$3 option=${4:-}
    # A name ending in "*" stands for the one corpus file it starts.
    [[ $first == *'*' ]] && first=$(cd "$corpus" && compgen -G "$first" | head -n 1)
    [[ $second == *'*' ]] && second=$(cd "$corpus" && compgen -G "$second" | head -n 1)
    local out="$outdir/$id.pdf" report="$outdir/$id.txt" status=0 flags=() started
    started=$(date +%s%N)
    [ "$option" = -nobookmarks ] && flags=(--nobookmarks)
    echo "pair $first $second $option" >"$report"
    timeout -k 5 60 "$binary" "$corpus/$first" "$corpus/$second" "-o$out" -quiet $option \
        >/dev/null 2>"$outdir/$id.err" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "FAIL run: exit status $status: $(head -c 300 "$outdir/$id.err")" >>"$report"
        echo "summary: checked=run failed=run" >>"$report"
        return 0
    fi
    timeout -k 5 120 "$python" "$here/judge.py" "$corpus/$first" "$corpus/$second" "$out" \
        --cache "$outdir/cache" "${flags[@]}" >>"$report" 2>&1 ||
        grep -q '^summary:' "$report" || echo "summary: checked=judge failed=judge" >>"$report"
    echo "seconds $(( ($(date +%s%N) - started) / 1000000 ))e-3" >>"$report"
    rm -f "$outdir/$id.err"
    [ -n "${KEEP_OUTPUTS:-}" ] || rm -f "$out"
}
export -f judge_pair
export binary corpus outdir python here

grep -v '^\s*\(#\|$\)' "$here/pairs.txt" | awk '{ printf "%03d %s\n", NR, $0 }' |
    { grep -E -- "${REALWORLD_ONLY:-.}" || true; } | xargs -P2 -L1 bash -c 'judge_pair "$@"' _

"$python" "$here/summarize.py" "$outdir" "$here/known.txt" ${REALWORLD_RECORD:+--record}
