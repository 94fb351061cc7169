#!/usr/bin/env bash
# Warnings and lint: builds everything (program, tests, replay runners) with -Werror under g++
# and under clang++, then runs clang-tidy (checks in .clang-tidy) over the program's sources with
# the clang build's compile commands. Fails on the first warning.
#   tools/lint.sh [gcc-build-folder] [clang-build-folder]    (default build-lint, build-lint-clang)
set -euo pipefail
cd "$(dirname "$0")/.."

gcc_build=${1:-build-lint}
clang_build=${2:-build-lint-clang}
clang_tidy=${CLANG_TIDY:-clang-tidy}
jobs=${LINT_JOBS:-2}

for tool in g++ clang++ "$clang_tidy" python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "lint: $tool is missing (tools/setup-deps.sh installs it)" >&2
        exit 1
    fi
done

# -Werror comes from FOLIOBIND_WERROR; -Wall -Wextra -Wpedantic are always on.
build_with() {
    local folder=$1 cc=$2 cxx=$3
    echo "lint: -Werror build with $cxx in $folder"
    cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFOLIOBIND_WERROR=ON -DFOLIOBIND_TESTS=ON \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_C_COMPILER="$(command -v "$cc")" \
        -DCMAKE_CXX_COMPILER="$(command -v "$cxx")" >/dev/null
    cmake --build "$folder" -j"$jobs"
}

build_with "$gcc_build" gcc g++
build_with "$clang_build" clang clang++

# The program's own translation units, as the clang build compiles them (tests and fuzz
# targets are not linted).
mapfile -t sources < <(python3 - "$clang_build/compile_commands.json" <<'EOF'
import json, os, sys
root = os.getcwd() + "/"
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(root) and path[len(root):].split("/")[0] in (
            "cli", "append", "pdf", "streams", "xref", "platform"):
        print(path)
EOF
)
if [ ${#sources[@]} -eq 0 ]; then
    echo "lint: no program sources in $clang_build/compile_commands.json" >&2
    exit 1
fi

echo "lint: $clang_tidy over ${#sources[@]} files"
report=$(mktemp "${TMPDIR:-/tmp}/foliobind-tidy.XXXXXX")
trap 'rm -f "$report"' EXIT
status=0
printf '%s\n' "${sources[@]}" |
    xargs -P"$jobs" -n1 "$clang_tidy" -p "$clang_build" --quiet >"$report" 2>/dev/null || status=$?
if [ "$status" -ne 0 ] || grep -q 'warning:\|error:' "$report"; then
    cat "$report"
    echo "lint: clang-tidy reported the findings above" >&2
    exit 1
fi
echo "lint: no warnings from g++, clang++ or clang-tidy"
