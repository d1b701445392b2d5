#!/bin/sh
# Installs what building and testing Renvo needs on Debian 12 (run as root).
# Skips apt entirely when everything is already there, so repeated runs are quick.
set -e
# Qt Widgets with the SVG image plugin (the icons) and a CJK font (every text is Japanese);
# Qt's own Japanese texts for its choosers and buttons (qt6-translations-l10n);
# Qt's Wayland platform (qt6-wayland) for Wayland sessions; xcb's headers for the X11 frame of
# the progress window; dpkg-dev for the Debian package (dpkg-shlibdeps, scripts/package.sh).
pkgs="build-essential dpkg-dev cmake ninja-build pkg-config python3 qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins qt6-translations-l10n qt6-wayland libxcb1-dev libgl-dev libgtest-dev googletest fonts-noto-cjk"
for opt in "$@"; do
  case "$opt" in
  --bench) pkgs="$pkgs rsync hyperfine time xvfb strace linux-perf" ;;
  # The fuzz targets (fuzz/run.sh): clang with libFuzzer and the sanitizer runtimes (compiler-rt).
  --fuzz) pkgs="$pkgs clang libclang-rt-dev python3" ;;
  # The resident program end to end: a virtual display, a real XEmbed tray host, a
  # StatusNotifierItem host on a private session bus, a window manager (openbox), a headless
  # Wayland compositor (sway, with grim and wtype to look and type), and the tools that drive
  # and look.
  --desktop) pkgs="$pkgs xvfb xauth trayer xdotool x11-utils imagemagick dbus dbus-x11 haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils desktop-file-utils openbox sway grim wtype" ;;
  esac
done
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends $missing
