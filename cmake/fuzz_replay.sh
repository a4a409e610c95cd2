#!/usr/bin/env bash
# The test command's fuzz run: replays the target's committed corpus (seeds and regression
# files, each of which must pass), then tries a fixed number of new inputs from a fixed seed,
# so that the same code always gives the same verdict. The open-ended search is
# scripts/fuzz.sh. New inputs go to a scratch folder that is removed; a failing input is kept
# in the current folder (the build tree) as crash-*, leak-*, timeout-* or oom-*.
# Usage: fuzz_replay.sh TARGET CORPUS_FOLDER RUNS
set -euo pipefail
target=$1 corpus=$2 runs=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
folders=("$scratch")
if [ -d "$corpus" ]; then
    folders+=("$corpus")
fi
"$target" -seed=1 -runs="$runs" -max_len=65536 -rss_limit_mb=4096 -timeout=30 \
    -artifact_prefix="$PWD/" "${folders[@]}"
