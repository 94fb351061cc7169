#!/usr/bin/env bash
# Installs what is needed, builds Foliobind with its tests in build/ and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

./tools/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
