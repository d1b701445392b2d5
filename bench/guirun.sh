#!/bin/sh
# Times mirror runs in the tray program's main form with the progress window on (offscreen
# platform, no display needed) against the same runs through renvo-run.
#   sh bench/guirun.sh [--quick] [--keep]
# The tree is the one bench/hostcost.sh uses (bench.py's generator without the 50 MiB files):
# 100,000 files of 1-8 KiB in 2,000 folders under bench/out/, kept for the next run.
# --quick uses 20,000 files in 400 folders (a check of the script); --keep keeps the mirrors.
set -e
cd "$(dirname "$0")/.."
files=100000
keep=0
for a in "$@"; do
  case "$a" in
    --quick) files=20000 ;;
    --keep) keep=1 ;;
    *) echo "usage: sh bench/guirun.sh [--quick] [--keep]" >&2; exit 2 ;;
  esac
done
sh scripts/install-deps.sh
cmake -S . -B build-bench-gui -G Ninja -DCMAKE_BUILD_TYPE=Release -DRENVO_BUILD_TESTS=OFF \
  -DRENVO_BUILD_BENCH=ON >/dev/null
cmake --build build-bench-gui -j2 --target guirun renvo-run

. bench/tree.sh
small_tree "$files"
wait_for_removals

work="$base/gui-$(date +%H%M%S)"
status=0
QT_QPA_PLATFORM=offscreen build-bench-gui/bin/guirun "$base/src" "$work" --first 5 --nochange 7 || status=$?
[ "$keep" = 0 ] && remove_work "$work"
exit $status
