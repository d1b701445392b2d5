#!/bin/sh
# Times the list editor's commands on a list of 10,000 rows (offscreen platform, no display
# needed): loading the list into the view, saving it, sorting by the address column and a bulk
# add of 10,000 files.
#   sh bench/listedit.sh [--runs N] [--items N]
# The list, the program folder and the folder tree of the bulk add live in bench/out/listedit/
# and are kept: the tree is made once, so no timing follows a removal of many files.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRENVO_BUILD_TESTS=OFF \
  -DRENVO_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j2 --target listedit-bench
mkdir -p bench/out/listedit
QT_QPA_PLATFORM=offscreen build-bench/bin/listedit bench/out/listedit "$@"
