#!/usr/bin/env bash
# Installs what is missing, builds Vistrel with its tests and runs the whole suite twice:
# once in the Release build, once in a clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer, which also runs each fuzz target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)

echo "== Formatting (clang-format, .clang-format at the root)"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

echo "== Release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Sanitizer build (ASan + UBSan) with fuzz smoke runs"
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVISTREL_SANITIZE=ON -DVISTREL_FUZZ=ON -DVISTREL_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
