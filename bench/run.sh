#!/bin/sh
# Builds renvo-run (Release) and times it against cp -a and rsync on generated trees.
#   sh bench/run.sh [--quick | --scale N] [--keep] [--out DIR]   (more: python3 bench/bench.py --help)
# Default: 100,000 and 200,000 files (under 20 minutes, at most ~20 GB of copies at a time).
# --quick: 20,000 and 40,000 files, a check of the script.
# --scale N: the N-file point alone with fewer repeats (1,000,000 in under 40 minutes), and its
#   growth against 100,000 files: from the medians the last default run saved with the same
#   build in bench/out/results-100000.json, or else from a light 100,000-file point it times.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh --bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRENVO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target renvo-run
exec python3 bench/bench.py --bin build-bench/bin/renvo-run "$@"
