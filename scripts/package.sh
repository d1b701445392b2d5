#!/bin/sh
# Builds the Debian package of Renvo (Release, in ./build-package) and prints its path.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DRENVO_BUILD_TESTS=OFF >/dev/null
cmake --build build-package -j2
# dpkg-shlibdeps finds the Qt libraries the programs link and writes them into Depends.
(cd build-package && cpack -G DEB >/dev/null)
ls -t build-package/renvo_*.deb | head -n 1
