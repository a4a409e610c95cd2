#!/usr/bin/env bash
# Installs what is missing, builds Vistrel with its tests and runs the whole suite twice:
# once in the Release build, once in a clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer, where each fuzz target also replays its committed corpus and
# tries a fixed number of inputs from a fixed seed. Nothing in it is random: the same code
# gives the same verdict. Works from a source archive too (no git needed).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
# A compiler cache, where one is installed, makes a second run fast; it never changes a result.
cache=()
if command -v ccache >/dev/null; then
    cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

echo "== Formatting (clang-format, .clang-format at the root)"
# Every C++ file outside .git and the build folders (as .gitignore names them).
find . \( -path ./.git -o -path './build*' -o -path ./out \) -prune -o \
    \( -name '*.cpp' -o -name '*.h' \) -print | sort | xargs clang-format --dry-run -Werror

echo "== Release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${cache[@]}" >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Installed program and Debian package"
scripts/check-install.sh build

echo "== Sanitizer build (ASan + UBSan) with the fuzz targets' replays"
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVISTREL_SANITIZE=ON -DVISTREL_FUZZ=ON -DVISTREL_BENCH=OFF "${cache[@]}" >/dev/null
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
