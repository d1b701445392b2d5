#!/bin/sh
# Builds Renvo and starts the resident program (build/bin/Renvo) in the desktop session: it
# lives in the tray, its program folder is build/bin (or $RENVO_HOME). Without a desktop it
# says so and exits non-zero; build/bin/renvo-run performs one run from a terminal.
set -e
cd "$(dirname "$0")/.."
sh scripts/build.sh
exec ./build/bin/Renvo "$@"
