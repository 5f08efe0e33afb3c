#!/usr/bin/env bash
# Prints what the CD's programs and image were made from, for buildinfo.txt
# on the CD (scripts/make-cd.sh): the commit and its date
# (SOURCE_DATE_EPOCH), the versions of this machine's packages that build
# the programs and the image, and the packages of the Debian 11 root
# (build/sysroot-bullseye) that the Linux program is built against. The same
# commit built with the same versions gives the same files, byte for byte
# (README.md, "Checking a CD against its sources").
# Usage: SOURCE_DATE_EPOCH=SECONDS scripts/buildinfo.sh
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
sysroot=build/sysroot-bullseye
tools=(g++-12 libstdc++-12-dev binutils gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32
  binutils-mingw-w64-i686 mingw-w64-i686-dev cmake ninja-build xorriso libisofs6)

if commit=$(git rev-parse HEAD 2>/dev/null); then
  git diff --quiet HEAD || commit+=", with changes not committed"
else
  commit="unknown (no git checkout)"
fi
echo "start $(sed -n 's/^project(start VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt), commit $commit"
echo "SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
echo
echo "Built on Debian 12 with:"
dpkg-query -W -f='  ${Package} ${Version}\n' "${tools[@]}" 2>/dev/null || true
echo
echo "The Linux program built against a Debian 11 root of:"
# The root's packages are only unpacked, not registered: each leaves its
# folder in /usr/share/doc, and its version is that of the package index
# the root was made from.
if [[ ! -d $sysroot/usr/share/doc ]]; then
  echo "  (no Debian 11 root in $sysroot)"
  exit 0
fi
ls "$sysroot/usr/share/doc" |
  awk 'NR == FNR { in_root[$1] = 1; next }
       /^Package: / { package = $2 }
       /^Version: / && package in in_root { print "  " package, $2 }' - "$sysroot"/var/lib/apt/lists/*_Packages |
  LC_ALL=C sort
