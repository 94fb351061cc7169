#!/usr/bin/env bash
# Every benchmark case: the two-file pairs of append.sh, a pair of 20,000 tiny pages, and plain
# lists of 200, 500 and 1,000 one-page files. Per case: each peer's time over ours, ours over cat,
# our peak memory over qpdf's; the last line gives the worst of each.
# Usage: tools/bench/run.sh [foliobind]   (default: build/foliobind)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:-$here/../../build/foliobind}
exec python3 "$here/bench.py" --exe "$exe" 500-classic 500-objstm 5000-classic 5000-objstm 20000-tiny \
    list-200 list-500 list-1000
