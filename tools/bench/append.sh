#!/usr/bin/env bash
# Two-file appends of generated 500-page and 5,000-page pairs, classic and with object streams:
# foliobind, qpdf, pdfunite and mutool side by side with cat as the floor (medians of 5).
# Usage: tools/bench/append.sh [foliobind]   (default: build/foliobind)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:-$here/../../build/foliobind}
exec python3 "$here/bench.py" --exe "$exe" 500-classic 500-objstm 5000-classic 5000-objstm
