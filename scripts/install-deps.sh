#!/bin/sh
# Installs what building and testing Renvo needs on Debian 12 (run as root).
# Skips apt entirely when everything is already there, so repeated runs are quick.
set -e
pkgs="build-essential cmake ninja-build pkg-config python3 qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev googletest"
[ "${1:-}" = "--bench" ] && pkgs="$pkgs rsync hyperfine time"
# The fuzz targets (fuzz/run.sh): clang with libFuzzer and the sanitizer runtimes (compiler-rt).
[ "${1:-}" = "--fuzz" ] && pkgs="$pkgs clang libclang-rt-dev python3"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends $missing
