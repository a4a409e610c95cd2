#!/usr/bin/env bash
# Installs what is missing, builds the benchmark programs (Release) and runs each one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
for program in build/bench/*_bench; do
    echo "== $(basename "$program")"
    QT_QPA_PLATFORM=offscreen "$program"
done
