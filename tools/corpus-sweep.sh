#!/usr/bin/env bash
# Sanitizer sweep over the shared corpus of real PDFs: every file as the first input (the
# bundled plain sample second) and as the second input (the sample first), each a named-output
# append under a 20-second limit. Fails on a sanitizer report, a hang, an exit status other
# than 0, -2, -3, -4, or an input whose bytes changed.
#   tools/corpus-sweep.sh [foliobind executable] [corpus folder]
# Defaults: build-asan/foliobind (built with -DFOLIOBIND_SANITIZE=ON) and ../shared/corpus/peers.
set -euo pipefail
cd "$(dirname "$0")/.."

exe=$(realpath -m "${1:-build-asan/foliobind}")
corpus=${2:-../shared/corpus/peers}
sample=$(realpath testdata/samples/sample-c-plain.pdf)

if [ ! -d "$corpus" ]; then
    echo "corpus sweep skipped: no corpus folder at $corpus"
    exit 0
fi
if [ ! -x "$exe" ]; then
    echo "corpus sweep: no executable at $exe (build it with -DFOLIOBIND_SANITIZE=ON)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/foliobind-sweep.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/logs"

# One run: prints "<class> <first|second> <file>". Logs are kept only for failures.
sweep_one() {
    local mode=$1 file=$2
    local out log status class
    out=$(mktemp -p "$work/out" out-XXXXXX.pdf)
    log=$(mktemp -p "$work/logs" run-XXXXXX)
    local first=$file second=$sample
    [ "$mode" = second ] && { first=$sample; second=$file; }
    set +e
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        timeout -k 5 20 "$exe" "$first" "$second" "-o$out" -quiet >"$log.out" 2>"$log.err"
    status=$?
    set -e
    if grep -qE "ERROR: AddressSanitizer|runtime error:|LeakSanitizer" "$log.err"; then
        class=sanitizer
    elif [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        class=timeout
    else
        case $status in
            0) class=ok ;;
            252) class=damaged ;;
            253) class=encrypted ;;
            254) class=refused ;;
            *) class=bad-status-$status ;;
        esac
    fi
    case $class in
        ok | damaged | encrypted | refused) rm -f "$log" "$log.out" "$log.err" ;;
        *) { echo "== $class $mode $file"; tail -n 40 "$log.err"; } >"$log.failure" ;;
    esac
    rm -f "$out"
    echo "$class $mode $file"
}
export -f sweep_one
export work sample exe

find "$corpus" -type f -print0 | sort -z >"$work/files"
count=$(tr -cd '\0' <"$work/files" | wc -c)
echo "corpus sweep: $count files, each as first and as second input, with $exe"
xargs -0 sha256sum -- <"$work/files" >"$work/before.sha256"
sha256sum -- "$sample" >>"$work/before.sha256"

started=$SECONDS
for mode in first second; do
    xargs -0 -P2 -I{} bash -c 'sweep_one "$1" "$2"' _ "$mode" {} <"$work/files"
done >"$work/results"

echo "corpus sweep: $((count * 2)) runs in $((SECONDS - started)) s; by result:"
cut -d' ' -f1 "$work/results" | sort | uniq -c | sed 's/^/  /'
failed=0
if grep -qvE '^(ok|damaged|encrypted|refused) ' "$work/results"; then
    echo "corpus sweep FAILED:"
    grep -vE '^(ok|damaged|encrypted|refused) ' "$work/results" | sed 's/^/  /'
    cat "$work"/logs/*.failure 2>/dev/null || true
    failed=1
fi
if ! sha256sum --quiet -c "$work/before.sha256"; then
    echo "corpus sweep FAILED: an input file changed"
    failed=1
fi
[ "$failed" -eq 0 ] && echo "corpus sweep passed"
exit "$failed"
