#!/usr/bin/env bash
# Installs what building, testing and the sample run need on a Debian machine, and what the
# lint and install checks use (clang-tidy; groff for the man page; file for cpack's dependency scan).
# Quick when everything is present already: apt is only asked about missing packages.
set -euo pipefail

packages=(build-essential cmake ninja-build zlib1g-dev libgtest-dev libgmock-dev
          clang libclang-rt-14-dev clang-tidy qpdf poppler-utils mupdf-tools python3 python3-pikepdf
          groff-base file time)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "setup-deps: all packages present"
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "setup-deps: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
fi

echo "setup-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
