#!/usr/bin/env bash
# Installs Foliobind into a scratch DESTDIR and checks the installed files: the program and its
# Foliobind link run on the bundled samples (outputs pass qpdf --check, page counts add up), the
# program needs no shared library beyond libc and zlib, the man page renders without warnings,
# and, where cpack and dpkg-deb exist, the Debian package depends on libc6 and zlib1g only.
#   tools/check-install.sh [build-folder]    (default build-install, configured Release)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-install}
samples=testdata/samples

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFOLIOBIND_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target foliobind

stage=$(mktemp -d "${TMPDIR:-/tmp}/foliobind-install.XXXXXX")
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr

fail() {
    echo "check-install: $*" >&2
    exit 1
}

bin=$stage/usr/bin
page=$stage/usr/share/man/man1/foliobind.1
[ -x "$bin/foliobind" ] || fail "no executable $bin/foliobind"
[ "$(readlink "$bin/Foliobind")" = foliobind ] || fail "$bin/Foliobind is not a link to foliobind"
[ -f "$page" ] || fail "no man page $page"

pages() {
    qpdf --show-npages "$1"
}

# One named-output job through the installed link; the output must check clean and hold the
# pages of both inputs.
append_pair() {
    local first=$1 second=$2 output=$3 status=0
    "$bin/Foliobind" "$first" "$second" "-o$output" -quiet || status=$?
    [ "$status" -eq 0 ] || fail "Foliobind $first $second: exit status $status"
    qpdf --check "$output" >"$stage/check.txt" 2>&1 || { cat "$stage/check.txt"; fail "qpdf --check $output"; }
    local expected=$(($(pages "$first") + $(pages "$second")))
    [ "$(pages "$output")" -eq "$expected" ] || fail "$output: $(pages "$output") pages, expected $expected"
    echo "check-install: $(basename "$first") + $(basename "$second"): $expected pages, qpdf --check clean"
}

mkdir "$stage/out"
for first in "$samples"/*.pdf; do
    for second in "$samples"/*.pdf; do
        append_pair "$first" "$second" "$stage/out/$(basename "$first" .pdf)+$(basename "$second")"
    done
done

# A plain list through the installed program's own name, in name order.
find "$samples" -maxdepth 1 -name '*.pdf' | LC_ALL=C sort >"$stage/list.txt"
"$bin/foliobind" "$stage/list.txt" "-o$stage/out/all.pdf" -g0 -quiet
expected=0
while read -r name; do
    expected=$((expected + $(pages "$name")))
done <"$stage/list.txt"
qpdf --check "$stage/out/all.pdf" >/dev/null || fail "qpdf --check of the list output"
[ "$(pages "$stage/out/all.pdf")" -eq "$expected" ] || fail "list output: wrong page count"
echo "check-install: list of $(wc -l <"$stage/list.txt") samples: $expected pages, qpdf --check clean"

# Shared libraries beyond libc (with libm and the loader) and zlib would be run-time needs the
# package does not declare.
extra=$(ldd "$bin/foliobind" | grep -v -E 'linux-vdso|ld-linux|/libc\.so|/libm\.so|/libz\.so' || true)
[ -z "$extra" ] || fail "unexpected shared libraries: $extra"
echo "check-install: shared libraries: $(ldd "$bin/foliobind" | awk '/=>/ {print $1}' | tr '\n' ' ')"

warnings=$(groff -ww -man -Tutf8 "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "groff warnings in the man page: $warnings"
if command -v man >/dev/null 2>&1; then
    warnings=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man -l warnings: $warnings"
fi
echo "check-install: man page renders without warnings"

if command -v cpack >/dev/null 2>&1 && command -v dpkg-deb >/dev/null 2>&1; then
    (cd "$build" && cpack -G DEB >/dev/null)
    package=$(ls "$build"/foliobind_*.deb)
    depends=$(dpkg-deb -f "$package" Depends)
    # Both spellings of the dependency line: from dpkg-shlibdeps with versions, or the fixed one.
    echo "$depends" | grep -q -E '^libc6( \([^)]*\))?, zlib1g( \([^)]*\))?$' ||
        fail "package depends on: $depends"
    echo "check-install: $(basename "$package") depends on: $depends"
fi
echo "check-install: passed"
