#!/bin/sh
# Builds renvo-run (Release) and times it against cp -a and rsync on generated trees.
#   sh bench/run.sh [--quick | --scale N] [--keep] [--out DIR]   (more: python3 bench/bench.py --help)
# Default: 100,000 and 200,000 files; about 15 minutes on a quiet machine, up to twice that on a
#   busy one (a quarter of it removing copies); at most 20 GiB of copies at a time.
# --quick: 20,000 and 40,000 files, a check of the script (about 8 minutes).
# --scale N: the N-file point alone with fewer repeats (1,000,000: about 17 minutes quiet, up to
#   40 busy), and its growth against 100,000 files: from the medians the last default run saved
#   with the same build in bench/out/results-100000.json, or else from a light point it times.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh --bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRENVO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target renvo-run
exec python3 bench/bench.py --bin build-bench/bin/renvo-run "$@"
