#!/usr/bin/env bash
# Installs what is missing, builds the benchmark programs (Release) and runs each one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
for program in build/bench/*_bench; do
    echo "== $(basename "$program")"
    if [ "$(basename "$program")" = enter_bench ]; then
        # Keys and screen pixels need a real X server.
        xvfb-run -a -s "-screen 0 1920x1080x24" "$program"
    else
        QT_QPA_PLATFORM=offscreen "$program"
    fi
done
