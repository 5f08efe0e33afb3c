#!/usr/bin/env bash
# Lays out the CD root of the sample CD and writes its ISO image:
#   build/cd/root/              the files as they go on the CD
#   build/cd/orbilex-VERSION.iso  ISO 9660 with Joliet (Windows) and Rock
#                               Ridge (Linux: the start program keeps its
#                               exec bit), labelled ORBILEX_CD_<CDVersion>
# The root holds the product, the 32-bit start.exe, the stripped Linux
# program start as built for glibc 2.31 and later (the preset linux-compat,
# against the Debian 11 root of scripts/make-sysroot.sh), and the sample
# CD's files from example/ (start.ins, the programs and documents,
# autorun.inf, autorun.sh). cdcheck must find the root clean, or no image
# is written.
#
# Usage: scripts/make-cd.sh [--cd DIR] [--out DIR] [--no-build]
#   --cd DIR     the CD's files to take instead of example/
#   --out DIR    where to put root/ and the image (default build/cd); a
#                folder of its own: not /, nor a home folder. The script
#                replaces root/ there only if it made it (it leaves the mark
#                .made-by-make-cd beside it)
#   --no-build   use the programs as built instead of installing packages
#                and building (the first build makes the Debian 11 root: as
#                root)
# Relative folders are taken from the folder the script is called from. The
# image's name and volume label are made from CDVersion's letters, digits,
# "." and "-"; other characters become "_".
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
die() {
  echo "make-cd.sh: $*" >&2
  exit 2
}
source=$ROOT/example
out=$ROOT/build/cd
build=yes
while (($#)); do
  case $1 in
    --cd | --out)
      (($# >= 2)) && [[ -n $2 ]] || die "$1 needs a folder"
      # From the caller's folder; the script works from the repository.
      path=$(realpath -m -- "$2")
      [[ $1 == --cd ]] && source=$path || out=$path
      shift 2
      ;;
    --no-build) build=no; shift ;;
    --help) sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument $1 (see --help)" ;;
  esac
done
[[ -d $source ]] || die "the CD's files: $source is not a folder"
for home in / /root "${HOME:-/}"; do
  [[ $out != "$(realpath -m -- "$home")" ]] || die "--out $out is / or a home folder: give a folder of its own"
done
[[ $out/ != "$source"/* ]] || die "--out $out lies inside the CD's files $source"
cd "$ROOT"

if [[ $build == yes ]]; then
  scripts/install-deps.sh build windows cd
  scripts/make-sysroot.sh
  for preset in linux linux-compat win32; do cmake --preset "$preset" >/dev/null; done
  cmake --build --preset linux -j "$(nproc)" --target cdcheck
  cmake --build --preset linux-compat -j "$(nproc)"
  cmake --build --preset win32 -j "$(nproc)" --target start
fi
for program in build/linux-compat/start build/linux/cdcheck build/win32/start.exe; do
  [[ -f $program ]] || { echo "$program is missing; run without --no-build" >&2; exit 1; }
done

# The new root is laid out in a fresh folder beside its place and moved
# there; a root/ already there is removed only when this script made it.
cd_root="$out/root"
mark="$out/.made-by-make-cd"
if [[ -e $cd_root || -L $cd_root ]] && [[ ! -f $mark ]]; then
  die "$cd_root exists and was not made by make-cd.sh: remove it yourself or give another --out"
fi
mkdir -p "$out"
staging=$(mktemp -d "$out/.root.XXXXXX")
trap 'rm -rf "$staging"' EXIT
cp -r "$source"/. "$staging"
rm -f "$staging/README.md" # the sample CD's own notes
cp build/win32/start.exe "$staging/start.exe"
strip -o "$staging/start" build/linux-compat/start
chmod 755 "$staging" "$staging/start"
touch "$mark"
rm -rf "$cd_root"
mv "$staging" "$cd_root"

if ! build/linux/cdcheck "$cd_root" >"$out/cdcheck.txt"; then
  cat "$out/cdcheck.txt" >&2
  echo "cdcheck found problems in $cd_root: no image written" >&2
  exit 1
fi

# CDVersion from the JSON report (a string with its escapes), then its safe
# characters for the file name and the label.
version=$(build/linux/cdcheck --json "$cd_root" |
  sed -E 's/.*"key":"CDVersion","value":"((\\.|[^"\\])*)".*/\1/')
name=$(LC_ALL=C sed -E 's/[^A-Za-z0-9.-]+/_/g; s/^[._-]+//; s/[_-]+$//' <<<"$version")
[[ -n $name ]] ||
  die "CDVersion \"$version\" has no letter or digit to name the image by: give it one in start.ins"
label="ORBILEX_CD_$(LC_ALL=C tr -c 'A-Za-z0-9\n' '_' <<<"$name" | tr a-z A-Z)"
iso="$out/orbilex-$name.iso"
rm -f "$iso"
# -r: Rock Ridge with modes made sane (readable by all; programs keep their
# exec bit); -J: Joliet names for Windows.
xorriso -as mkisofs -r -J -V "${label:0:32}" -o "$iso" "$cd_root" >"$out/xorriso.log" 2>&1 || {
  cat "$out/xorriso.log" >&2
  exit 1
}
echo "CD root: $cd_root"
echo "image:   $iso (volume $label)"
