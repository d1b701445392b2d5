#!/bin/sh
# Times mirror runs with a host that answers on the run thread against one that answers each
# call through a blocking queued call to the main thread's event loop (the tray program's way).
#   sh bench/hostcost.sh [--quick] [--keep]
# The tree is bench.py's generator without the 50 MiB files (they only add copy time and its
# noise): 100,000 files of 1-8 KiB in 2,000 folders under bench/out/, kept for the next run.
# --quick uses 20,000 files in 400 folders (a check of the script); --keep keeps the mirrors.
set -e
cd "$(dirname "$0")/.."
files=100000
keep=0
for a in "$@"; do
  case "$a" in
    --quick) files=20000 ;;
    --keep) keep=1 ;;
    *) echo "usage: sh bench/hostcost.sh [--quick] [--keep]" >&2; exit 2 ;;
  esac
done
sh scripts/install-deps.sh
cmake -S . -B build-bench-host -G Ninja -DCMAKE_BUILD_TYPE=Release -DRENVO_BUILD_TESTS=OFF \
  -DRENVO_BUILD_BENCH=ON >/dev/null
cmake --build build-bench-host -j2 --target hostcost

. bench/tree.sh
small_tree "$files"
wait_for_removals

work="$base/host-$(date +%H%M%S)"
status=0
build-bench-host/bin/hostcost "$base/src" "$work" --first 3 --nochange 5 || status=$?
[ "$keep" = 0 ] && remove_work "$work"
exit $status
