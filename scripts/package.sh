#!/usr/bin/env bash
# Builds the Debian package vistrel_<version>_amd64.deb and prints its path. Without an
# argument it builds the program alone (Release) in build-package/; given an existing build
# folder, it packages the program built there. dpkg-shlibdeps computes the dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${1:-build-package}
if [ $# -eq 0 ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVISTREL_TESTS=OFF \
        -DVISTREL_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target vistrel >/dev/null
build=$(cd "$build" && pwd)
rm -f "$build"/vistrel_*_amd64.deb
if ! log=$(cd "$build" && cpack -G DEB 2>&1); then
    echo "$log" >&2
    exit 1
fi
ls "$build"/vistrel_*_amd64.deb
