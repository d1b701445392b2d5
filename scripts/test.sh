#!/bin/sh
# Builds Renvo and runs every test.
set -e
cd "$(dirname "$0")/.."
sh scripts/build.sh
ctest --test-dir build --output-on-failure -j2
