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
# autorun.inf, autorun.sh), and buildinfo.txt: the commit and the versions
# of the tools and of the Debian 11 root's packages that made it. cdcheck
# must find the root clean, or no image is written.
#
# The image is reproducible (made again from the same commit with the same
# tools, it is the same byte for byte): every file and the volume carry the
# date of the commit (SOURCE_DATE_EPOCH, unless set already).
#
# Usage: scripts/make-cd.sh [--cd DIR] [--out DIR] [--no-build]
#                           [--sign-pkcs12 FILE [--timestamp-url URL]]
#   --cd DIR     the CD's files to take instead of example/
#   --out DIR    where to put root/ and the image (default build/cd); a
#                folder of its own: not /, nor a home folder. The script
#                replaces root/ there only if it made it (it leaves the mark
#                .made-by-make-cd beside it)
#   --no-build   use the programs as built instead of installing packages
#                and building (the first build makes the Debian 11 root: as
#                root)
#   --sign-pkcs12 FILE   sign start.exe (Authenticode, SHA-256) with the
#                certificate and key in the PKCS#12 file FILE, whose password
#                is taken from the environment variable START_SIGN_PASSWORD;
#                the signature is also kept beside the image, detached
#                (orbilex-VERSION-start.exe.sig), for checking the signed
#                start.exe against a build of one's own (README.md)
#   --timestamp-url URL  have the signature timestamped by the RFC 3161
#                time-stamp server at URL
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
sign_pkcs12=""
timestamp_url=""
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
    --sign-pkcs12 | --timestamp-url)
      (($# >= 2)) && [[ -n $2 ]] || die "$1 needs a value"
      [[ $1 == --sign-pkcs12 ]] && sign_pkcs12=$(realpath -m -- "$2") || timestamp_url=$2
      shift 2
      ;;
    --help) awk 'NR > 1 && !/^#/ { exit } NR > 1' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument $1 (see --help)" ;;
  esac
done
[[ -d $source ]] || die "the CD's files: $source is not a folder"
for home in / /root "${HOME:-/}"; do
  [[ $out != "$(realpath -m -- "$home")" ]] || die "--out $out is / or a home folder: give a folder of its own"
done
[[ $out/ != "$source"/* ]] || die "--out $out lies inside the CD's files $source"
cd "$ROOT"

[[ -z $timestamp_url || -n $sign_pkcs12 ]] || { echo "--timestamp-url needs --sign-pkcs12" >&2; exit 2; }
if [[ -n $sign_pkcs12 ]]; then
  [[ -f $sign_pkcs12 ]] || { echo "no PKCS#12 file $sign_pkcs12" >&2; exit 2; }
  [[ -v START_SIGN_PASSWORD ]] || { echo "set START_SIGN_PASSWORD to the password of $sign_pkcs12" >&2; exit 2; }
fi
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || {
    echo "no git checkout: set SOURCE_DATE_EPOCH to the date of the sources (seconds since 1970)" >&2
    exit 2
  }
fi
export SOURCE_DATE_EPOCH

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
strip -o "$staging/start" build/linux-compat/start
chmod 755 "$staging" "$staging/start"
if [[ -n $sign_pkcs12 ]]; then
  # The password reaches osslsigncode through a pipe, never on a command line.
  password=()
  [[ -z $START_SIGN_PASSWORD ]] || password=(-readpass /dev/fd/3)
  timestamp=()
  [[ -z $timestamp_url ]] || timestamp=(-ts "$timestamp_url")
  osslsigncode sign -pkcs12 "$sign_pkcs12" "${password[@]}" -h sha256 "${timestamp[@]}" \
    -in build/win32/start.exe -out "$staging/start.exe" 3< <(printf '%s' "$START_SIGN_PASSWORD") \
    >"$out/sign.log" 2>&1 || {
    cat "$out/sign.log" >&2
    echo "could not sign start.exe: no image written" >&2
    exit 1
  }
else
  cp build/win32/start.exe "$staging/start.exe"
fi
scripts/buildinfo.sh >"$staging/buildinfo.txt"
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
signature="$out/orbilex-$name-start.exe.sig"
rm -f "$iso" "$signature"
if [[ -n $sign_pkcs12 ]]; then
  osslsigncode extract-signature -in "$cd_root/start.exe" -out "$signature" >>"$out/sign.log" 2>&1 || {
    cat "$out/sign.log" >&2
    exit 1
  }
fi
# -r: Rock Ridge with modes made sane (readable by all; programs keep their
# exec bit); -J: Joliet names for Windows. The volume's dates, and those of
# every file and folder, are the commit's. xorriso lays the files' data out
# in the order of their names, whatever their order on the disk.
xorriso -as mkisofs -r -J -V "${label:0:32}" \
  --modification-date="$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y%m%d%H%M%S00)" \
  --set_all_file_dates "=$SOURCE_DATE_EPOCH" \
  -o "$iso" "$cd_root" >"$out/xorriso.log" 2>&1 || {
  cat "$out/xorriso.log" >&2
  exit 1
}
echo "CD root: $cd_root"
echo "image:   $iso (volume $label)"
[[ -z $sign_pkcs12 ]] || echo "start.exe signed; its signature, detached: $signature"
