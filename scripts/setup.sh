#!/usr/bin/env bash
# Makes sure the Debian packages the build needs are present: installs the
# missing ones when run as root, otherwise names them and fails.
set -euo pipefail

packages=(cmake ninja-build g++ libboost-dev libgtest-dev clang cpp csmith)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
else
    echo "setup: missing Debian packages: ${missing[*]}" >&2
    echo "setup: install them with: sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
