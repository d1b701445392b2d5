#!/bin/sh
# Builds the fuzz targets into build-fuzz (clang, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for N seconds (default 30), one after another.
# Prints one line per target: its executions, or the crash and the input that caused it.
# Exits non-zero when any target crashed.
#
# Each target starts from the seeds (made by make_seeds.py), the inputs kept in
# fuzz/corpus/<target> (earlier findings, replayed first) and what earlier runs here found
# (build-fuzz/corpus/<target>, where new inputs go). Crash inputs land in
# build-fuzz/artifacts/<target>/, logs in build-fuzz/logs/<target>.log.
#
# Usage: sh fuzz/run.sh [--seconds N] [target...]
set -e
cd "$(dirname "$0")/.."
root="$PWD"

seconds=30
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --seconds=*) seconds="${1#--seconds=}"; shift ;;
    -*) echo "usage: sh fuzz/run.sh [--seconds N] [target...]" >&2; exit 2 ;;
    *) break ;;
  esac
done
targets="${*:-fuzz_listfile fuzz_table fuzz_updatelist fuzz_hive fuzz_run}"

sh scripts/install-deps.sh --fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRENVO_FUZZ=ON -DRENVO_BUILD_TESTS=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build build-fuzz -j2 --target $targets

out="$root/build-fuzz"
rm -rf "$out/seeds"
python3 fuzz/make_seeds.py "$out/seeds"
mkdir -p "$out/logs"
export UBSAN_OPTIONS="print_stacktrace=1"

failed=0
summary=""
for t in $targets; do
  mkdir -p "$out/corpus/$t" "$out/artifacts/$t"
  kept=""
  [ -d "fuzz/corpus/$t" ] && kept="$root/fuzz/corpus/$t"
  log="$out/logs/$t.log"
  # A run over a folder tree takes milliseconds: ten seconds for one input is a hang.
  status=0
  "$out/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$t/" \
    "$out/corpus/$t" "$out/seeds/$t" $kept >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 runs in \2 s/p' "$log" | tail -n 1)
  if [ "$status" -eq 0 ] && [ -n "$runs" ]; then
    line="$t: $runs, corpus $(ls "$out/corpus/$t" | wc -l) inputs, no crash"
  else
    failed=1
    last=$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#')
    input=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    why=$(grep -m 1 -E 'check failed|ERROR: [A-Za-z]*Sanitizer|runtime error|ERROR: libFuzzer' "$log" || true)
    line="$t: CRASH (exit $status) after ${last:-0} runs: ${why:-see the log}; input ${input:-none}; log $log"
  fi
  echo "$line"
  summary="$summary$line
"
done
printf '\nfuzz summary (%s s per target):\n%s' "$seconds" "$summary"
exit "$failed"
