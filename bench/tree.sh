# Sourced by the host benchmarks: the small tree (bench.py's generator without the big files)
# and the waits that keep inode reuse out of the timings (see bench.py).
out=bench/out

# small_tree FILES: generates (or keeps) bench/out/n<FILES>-small/src and sets $base.
small_tree() {
  base="$out/n$1-small"
  echo "generating $1 files in $(($1 / 50)) folders ..."
  python3 -c "import sys; sys.path.insert(0, 'bench'); import bench
bench.generate_tree(sys.argv[1], int(sys.argv[2]), int(sys.argv[2]) // 50, seed=int(sys.argv[2]), big_files=0)" \
    "$base/src" "$1"
}

# Inodes freed recently are not reused here, and creating files stays slow for about a minute
# per 100,000 files removed: wait that long after the last removal. The stamp is shared with
# bench.py; an empty one (bench.py's) counts as 100,000 files.
stamp="$out/.removed"
# Seconds still to wait after the removals the stamp records.
pending() {
  [ -e "$stamp" ] || { echo 0; return; }
  removed=$(cat "$stamp")
  left=$((65 * ((${removed:-100000} + 99999) / 100000) - ($(date +%s) - $(stat -c %Y "$stamp"))))
  echo $((left > 0 ? left : 0))
}

wait_for_removals() {
  wait=$(pending)
  if [ "$wait" -gt 0 ]; then
    echo "waiting $wait s after the last removal ..."
    sleep "$wait"
  fi
}

# remove_work DIR: removes a benchmark's folders and records how many files went.
remove_work() {
  removed=$(find "$1" | wc -l)
  left=$(pending)  # a removal since this run started (another bench) is not forgotten
  rm -rf "$1"
  echo $((removed + left * 100000 / 65)) > "$stamp"
}
