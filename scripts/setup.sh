#!/usr/bin/env bash
# Installs the system packages Wendrake needs (Debian) and builds it into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config
  libpugixml-dev nlohmann-json3-dev libminizip-dev zlib1g-dev libglib2.0-dev unzip
  libgtest-dev libgmock-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev xvfb xauth libx11-dev libxtst-dev
  # The tray tests run a session bus of their own.
  dbus
  # The Debian package: built by cpack, checked by the tests.
  dpkg-dev lintian appstream desktop-file-utils
  # Snapshots on a file system that clones files, as many players' homes are.
  btrfs-progs
  # The demo's screenshot without a display.
  imagemagick x11-utils
  # The fuzz targets: clang with libFuzzer's runtime.
  clang libclang-rt-dev
  # Chinese texts (the tray menu, message boxes) legible in test screenshots.
  fonts-wqy-microhei
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
