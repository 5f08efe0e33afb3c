#!/usr/bin/env bash
# Makes build/sysroot-bullseye: a minimal Debian 11 (bullseye, glibc 2.31)
# root that the Linux program for the CD is built against (cmake --preset
# linux-compat), so that it runs on glibc 2.31 and later. The host's
# compiler does the build; the root gives the C library, the X11, Xft and
# fontconfig libraries, and FLTK's static library and headers.
# tests/glibc_compat_test.sh runs the program inside the root (chroot).
#
# debootstrap fetches the packages (from the Debian mirror that apt uses
# here) and checks them against the archive's signature; every package is
# then only unpacked, none configured: the root needs files, not a running
# system. Of FLTK's development package only the files are taken, without
# its long list of dependencies (GL, cairo, dpkg-dev). Nothing is done when
# the root is complete (made by this script with the same package list).
# Usage: scripts/make-sysroot.sh   (as root)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
dir=$ROOT/build/sysroot-bullseye
keyring=/usr/share/keyrings/debian-archive-keyring.gpg # the archive's keys, as apt has them
suite=bullseye
packages=(libc6-dev libx11-dev libxft-dev libfontconfig1-dev libxrender-dev libxcursor-dev
  libxfixes-dev libxext-dev libxinerama-dev)
alone=(libfltk1.3-dev)
stamp="$dir/.sysroot-complete"
want="$suite ${packages[*]} + ${alone[*]}"

[[ -f $stamp && $(<"$stamp") == "$want" ]] && exit 0
[[ $(id -u) -eq 0 ]] || { echo "making $dir needs root (debootstrap, chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null || { echo "debootstrap is not installed" >&2; exit 1; }

# The Debian mirror of apt's configuration: the first source that is not
# the security archive, in deb822 form or as a one-line "deb" entry.
mirror() {
  local file
  for file in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $file ]] || continue
    awk '/^[Uu][Rr][Ii][Ss]:/ || $1 == "deb" {
      for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\// && $i !~ /security/) print $i
    }' "$file"
  done
}
url=$(mirror | sed -n 1p)
[[ -n $url ]] || { echo "no Debian mirror found in apt's sources" >&2; exit 1; }

log="$dir.log"
die() {
  tail -n 20 "$log" >&2
  echo "$* (log: $log)" >&2
  exit 1
}
echo "making the $suite root $dir from $url"
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
# --foreign: fetch everything, unpack only the essential packages.
debootstrap --foreign --variant=minbase --keyring="$keyring" --include="$(IFS=,; echo "${packages[*]}")" \
  "$suite" "$dir" "$url" >"$log" 2>&1 || die "debootstrap failed"

# The packages taken alone, by the archive's checksums in the package index
# that debootstrap has checked.
archives="$dir/var/cache/apt/archives"
for p in "${alone[@]}"; do
  file="" sum=""
  read -r file sum < <(awk -v RS= -v p="$p" '$0 ~ "(^|\n)Package: " p "\n" {
      match($0, /\nFilename: [^\n]*/); f = substr($0, RSTART + 11, RLENGTH - 11)
      match($0, /\nSHA256: [^\n]*/); s = substr($0, RSTART + 9, RLENGTH - 9)
      print f, s; exit
    }' "$dir"/var/lib/apt/lists/*_Packages) || true
  [[ -n $sum ]] || die "$p is not in the $suite package index"
  wget -q -O "$archives/$p.deb" "${url%/}/$file" >>"$log" 2>&1 || die "could not fetch $file"
  sha256sum -c --quiet <<<"$sum  $archives/$p.deb" >>"$log" 2>&1 || die "$file has a wrong checksum"
done

for deb in "$archives"/*.deb; do
  dpkg-deb -x "$deb" "$dir" || die "could not unpack $deb"
done
rm -rf "$archives"/*.deb "$dir/debootstrap"
# The libraries' absolute links lead into the root only in a chroot; the
# linker, which follows them from outside, needs them relative.
while IFS= read -r link; do
  ln -sfn "$(realpath -ms --relative-to="$(dirname "$link")" "$dir$(readlink "$link")")" "$link"
done < <(find "$dir"/lib* "$dir"/usr/lib* -type l -lname '/*')
# FLTK's shared libraries are not unpacked: only its static ones link.
find "$dir/usr/lib" -xtype l -name 'libfltk*.so' -delete
chroot "$dir" /sbin/ldconfig
echo "$want" >"$stamp"
rm -f "$log"
echo "made $dir"
