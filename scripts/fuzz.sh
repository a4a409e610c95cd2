#!/usr/bin/env bash
# The open-ended fuzz search, kept out of the test command so that the test command's verdict
# depends on the code alone. Builds the sanitizer build with the libFuzzer targets and runs
# each target (or the one named) for MINUTES minutes. Each target's corpus grows in a folder
# outside the checkout ($VISTREL_FUZZ_HOME, default ~/.cache/vistrel-fuzz/<target>/) and
# starts from the committed one (<module>/tests/fuzz/<target>/). Findings are kept in
# $VISTREL_FUZZ_HOME/findings/<target>/ and listed at the end.
#
# Usage: scripts/fuzz.sh [TARGET] [MINUTES]
#   TARGET   a fuzz target's name, e.g. fuzz_load_bmp (default: every target in turn)
#   MINUTES  how long each target runs (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$PWD
scripts/install-deps.sh

wanted=${1:-}
minutes=${2:-5}
home=${VISTREL_FUZZ_HOME:-$HOME/.cache/vistrel-fuzz}

targets=()
for source in */tests/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    if [ -z "$wanted" ] || [ "$wanted" = "$name" ]; then
        targets+=("$source")
    fi
done
if [ ${#targets[@]} -eq 0 ]; then
    echo "No fuzz target named '$wanted'. The targets:" >&2
    ls */tests/fuzz_*.cpp | xargs -n1 basename | sed 's/\.cpp$//' >&2
    exit 2
fi

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVISTREL_SANITIZE=ON -DVISTREL_FUZZ=ON -DVISTREL_BENCH=OFF >/dev/null
cmake --build build-asan -j "$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$checkout/scripts/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

found=0
for source in "${targets[@]}"; do
    module=${source%%/*}
    name=$(basename "$source" .cpp)
    corpus=$home/$name
    findings=$home/findings/$name
    mkdir -p "$corpus" "$findings"
    echo "== $name: $minutes min, corpus $corpus"
    before=$(ls "$findings" | wc -l)
    # A finding stops the run; -fork keeps searching past it and keeps every finding.
    "build-asan/$module/${module}_$name" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 \
        -ignore_ooms=1 -max_total_time=$((minutes * 60)) -max_len=65536 -rss_limit_mb=4096 \
        -timeout=10 -artifact_prefix="$findings/" "$corpus" "$module/tests/fuzz/$name" \
        2>"$home/$name.log" || true
    after=$(ls "$findings" | wc -l)
    echo "   corpus: $(ls "$corpus" | wc -l) inputs; new findings: $((after - before)) (log: $home/$name.log)"
    if [ "$after" -gt "$before" ]; then
        found=1
        ls -t "$findings" | head -n $((after - before)) | sed "s|^|   $findings/|"
    fi
done

if [ "$found" -eq 1 ]; then
    cat <<'HOW'

To keep a finding as a regression file: reproduce it with
    build-asan/<module>/<module>_<target> FINDING
fix the fault, then copy the input into the target's committed corpus under a name that
says what it caught, for example
    cp FINDING imaging/tests/fuzz/fuzz_load_bmp/regression-stride-height-overflow.bmp
The test command replays every file there in the sanitizer build.
HOW
    exit 1
fi
echo "Nothing found."
