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

out=bench/out
base="$out/n$files-small"
echo "generating $files files in $((files / 50)) folders ..."
python3 -c "import sys; sys.path.insert(0, 'bench'); import bench
bench.generate_tree(sys.argv[1], int(sys.argv[2]), int(sys.argv[2]) // 50, seed=int(sys.argv[2]), big_files=0)" \
  "$base/src" "$files"

# Inodes freed recently are not reused here (see bench.py), and creating files stays slow for
# about a minute per 100,000 files removed: wait that long after the last removal. The stamp is
# shared with bench.py and hostcost.sh; an empty one (bench.py's) counts as 100,000 files.
stamp="$out/.removed"
# Seconds still to wait after the removals the stamp records.
pending() {
  [ -e "$stamp" ] || { echo 0; return; }
  removed=$(cat "$stamp")
  left=$((65 * ((${removed:-100000} + 99999) / 100000) - ($(date +%s) - $(stat -c %Y "$stamp"))))
  echo $((left > 0 ? left : 0))
}
wait=$(pending)
if [ "$wait" -gt 0 ]; then
  echo "waiting $wait s after the last removal ..."
  sleep "$wait"
fi

work="$base/gui-$(date +%H%M%S)"
status=0
QT_QPA_PLATFORM=offscreen build-bench-gui/bin/guirun "$base/src" "$work" --first 5 --nochange 7 || status=$?
if [ "$keep" = 0 ]; then
  removed=$(find "$work" | wc -l)
  left=$(pending)  # a removal since this run started (another bench) is not forgotten
  rm -rf "$work"
  echo $((removed + left * 100000 / 65)) > "$stamp"
fi
exit $status
