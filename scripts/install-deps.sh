#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev
  libfltk1.3-dev libfontconfig-dev fonts-liberation fonts-wine
  libxrender-dev libxcursor-dev libxfixes-dev libxext-dev libxft-dev libxinerama-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
  xvfb xdotool x11-utils openbox imagemagick
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]}" >&2
  echo "install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
