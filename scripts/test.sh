#!/bin/sh
# Builds Renvo and runs every test.
set -e
cd "$(dirname "$0")/.."
# The desktop test's virtual display, tray hosts and X tools.
sh scripts/install-deps.sh --desktop
sh scripts/build.sh

# The engine's threads (the run, the two walks of a folder item) under ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-fsanitize=thread -O1" >/dev/null
cmake --build build-tsan -j2 --target test_engine test_tools renvo-run
export TSAN_OPTIONS="halt_on_error=1 abort_on_error=1"
./build-tsan/tests/test_engine --gtest_brief=1
RENVO_TEST_BIN="$PWD/build-tsan/bin" ./build-tsan/tests/test_tools --gtest_brief=1
unset TSAN_OPTIONS

# Every program and test under AddressSanitizer and UndefinedBehaviorSanitizer (g++), the whole
# suite as ctest runs it: a memory error, a leak or undefined behaviour fails the test it is in.
# (g++ 12 sees uninitialised members inside libstdc++'s <regex> at -O1 with the sanitizers: noise.)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -O1 -Wno-maybe-uninitialized" >/dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j2

# The fuzz targets (clang, libFuzzer), 30 seconds each: any crash fails.
sh fuzz/run.sh --seconds 30

ctest --test-dir build --output-on-failure -j2

# Drives that come and go: sources and top folders on real mounts (loop-mounted ext4, tmpfs)
# unmounted, removed or full between runs. Needs root for mount; says so when it skips.
python3 tests/drives/drivetest.py --bin build/bin/renvo-run

# Crash test: renvo-run killed with SIGKILL at random moments, and at each system call of the
# history step that changes the file system, must leave its own files whole, every mirrored copy
# old or new and every generation as it was or one step on; the next run must put everything right.
python3 tests/crash/crashtest.py --bin build/bin/renvo-run --kills 100 --exact
