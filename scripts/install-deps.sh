#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12. Idempotent:
# when every package is present it does nothing; otherwise it runs
# apt-get update once and installs the missing ones. Run as root (or with sudo).
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config
  # libraries the code calls
  libtinyxml-dev libjsoncpp-dev zlib1g-dev libfontconfig-dev
  libcurl4-openssl-dev
  libudt-dev libvpx-dev
  # the launcher reads 7z patch archives
  libarchive-dev
  # the skin UI library: GTK 3 (with Cairo, Pango, gdk-pixbuf); Xvfb for display tests
  libgtk-3-dev xvfb xauth
  # display tests drag with the real pointer
  xdotool
  # the embedded browser of the main window and the mini card
  libwebkit2gtk-4.1-dev
  # tests, stand-in services, fuzzing and benchmarks
  libgtest-dev libgmock-dev python3 clang libclang-rt-14-dev
  # scripts/format.sh formats by .clang-format
  clang-format
  curl vpx-tools
  # the video chat's NAT tests build NATs in network namespaces
  iptables
  # tests and the demo make patch archives
  p7zip-full
  # scripts/make-skin-images.sh draws the default skin's images; the desktop
  # display test and the demo take screenshots with it
  imagemagick
  # the desktop display test and the demo drive the windows through the X
  # server (keys, clicks, window search) and give the tray icon a
  # notification area under Xvfb; xdpyinfo tells whether a display answers
  xdotool trayer x11-utils
  # a light window manager, so that display tests run with windows managed
  # (mapped, focused, closed) as on a desktop
  openbox
  # the main client refuses to start without a font that covers Chinese
  fonts-noto-cjk
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
