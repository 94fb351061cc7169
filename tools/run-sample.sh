#!/usr/bin/env bash
# Installs what is needed, builds Foliobind in build/ and appends the bundled sample
# testdata/samples/sample-b-xrefstream.pdf onto sample-a-classic.pdf, writing out/sample-ab.pdf.
set -euo pipefail
cd "$(dirname "$0")/.."

./tools/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2

first=testdata/samples/sample-a-classic.pdf
second=testdata/samples/sample-b-xrefstream.pdf
output=out/sample-ab.pdf
mkdir -p out
rm -f "$output"

echo "+ build/Foliobind $first $second -o$output"
status=0
build/Foliobind "$first" "$second" "-o$output" || status=$?
echo
echo "Foliobind exit status: $status"

if [ -s "$output" ]; then
    echo "Output: $PWD/$output"
    if command -v pdfinfo >/dev/null 2>&1; then
        pdfinfo "$output" | grep -E '^Pages:' || true
    fi
    if command -v pdftotext >/dev/null 2>&1; then
        echo "Page texts in order:"
        pdftotext "$output" - | tr '\f' '\n' | sed '/^$/d;s/^/  /'
    fi
else
    echo "No output was written to $output."
fi
exit "$status"
