#!/bin/sh
# Builds Renvo and starts one mirror run over the list file in the program folder
# (build/bin, or $RENVO_HOME). Arguments go to renvo-run (--complete).
set -e
cd "$(dirname "$0")/.."
sh scripts/build.sh
exec ./build/bin/renvo-run "$@"
