#!/bin/sh
# Builds renvo-run (Release) and times it against rsync and cp on generated trees.
#   sh bench/run.sh [--quick] [--out DIR]
# --quick uses 20,000 / 40,000 files instead of 100,000 / 200,000 (a check of the script).
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh --bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRENVO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target renvo-run
exec python3 bench/bench.py --bin build-bench/bin/renvo-run "$@"
