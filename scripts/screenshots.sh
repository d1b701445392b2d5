#!/bin/sh
# Builds Renvo and retakes the README's screenshots (docs/screenshots/*.png) on a virtual
# desktop of their own: a home folder, program folder and settings made for the pictures.
# Not part of the test suite; run it after a change to a window that the README shows.
set -e
cd "$(dirname "$0")/.."
# The virtual display, the tray host, the X tools and ImageMagick, as the desktop tests use.
sh scripts/install-deps.sh --desktop
# An existing build folder keeps its build type; a new one is configured as scripts/build.sh does.
if [ -f build/CMakeCache.txt ]; then
  cmake -S . -B build >/dev/null
else
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j2 --target Renvo
exec python3 tests/desktop/screens.py --bin build/bin --out docs/screenshots
