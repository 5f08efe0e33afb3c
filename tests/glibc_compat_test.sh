#!/usr/bin/env bash
# The Linux program for the CD (build/linux-compat/start, the preset
# linux-compat) runs on glibc 2.31 and later:
#  1. it asks for no GLIBC_ symbol version above 2.31 (objdump -T), and for
#     no shared library but those that README.md names;
#  2. inside the Debian 11 root it was built against (build/sysroot-bullseye,
#     glibc 2.31; chroot) it prints its version, and shows its window on
#     the host's Xvfb (whose abstract socket reaches into the chroot).
# COMPAT_BIN names another program to check (e.g. build/linux/start, which
# the host's glibc builds and which must fail here).
#
# Needs the program, the Debian 11 root (scripts/make-sysroot.sh) and the
# superuser's rights for chroot; exits 77 (skipped) when one is missing,
# except under CI, where that fails.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
PROGRAM=${COMPAT_BIN:-$SOURCE_DIR/build/linux-compat/start}
SYSROOT="$SOURCE_DIR/build/sysroot-bullseye"
FLOOR=2.31
LIBRARIES=(libX11.so.6 libXext.so.6 libXft.so.2 libXrender.so.1 libXcursor.so.1 libXfixes.so.3
  libXinerama.so.1 libfontconfig.so.1 libgcc_s.so.1 libpthread.so.0 libdl.so.2 libm.so.6 libc.so.6
  ld-linux-x86-64.so.2)

WORK=""
cleanup() {
  harness_cleanup
  [[ -n $WORK ]] && rm -rf "$WORK"
}
trap cleanup EXIT

[[ -f $PROGRAM ]] || harness_skip "no $PROGRAM (scripts/make-sysroot.sh, cmake --preset linux-compat, cmake --build --preset linux-compat)"

versions=$(objdump -T "$PROGRAM" | grep -oE 'GLIBC_[0-9.]+' | sort -Vu)
[[ -n $versions ]] || harness_fail "no glibc symbol versions read from $PROGRAM"
newer=$(objdump -T "$PROGRAM" | awk -v floor="$FLOOR" '
  match($0, /\(GLIBC_[0-9.]+\)/) {
    split(substr($0, RSTART + 7, RLENGTH - 8), v, "."); split(floor, f, ".")
    if (v[1] > f[1] || (v[1] == f[1] && v[2] + 0 > f[2])) print $NF " (GLIBC_" v[1] "." v[2] ")"
  }' | sort -u)
[[ -z $newer ]] || harness_fail "symbols of glibc newer than $FLOOR: $(paste -sd " " <<<"$newer")"
for lib in $(objdump -p "$PROGRAM" | awk '$1 == "NEEDED" { print $2 }'); do
  [[ " ${LIBRARIES[*]} " == *" $lib "* ]] || harness_fail "the program needs $lib"
done

[[ -f $SYSROOT/.sysroot-complete ]] || harness_skip "no $SYSROOT (scripts/make-sysroot.sh)"
[[ $(id -u) -eq 0 ]] || harness_skip "chroot needs the superuser"
WORK=$(mktemp -d "$SYSROOT/tmp/glibc-compat.XXXXXX")
inside=/tmp/${WORK##*/}/start
cp "$PROGRAM" "$WORK/start"

version=$(chroot "$SYSROOT" "$inside" --version 2>&1) || harness_fail "it did not run on glibc $FLOOR: $version"
[[ $version == "start "* ]] || harness_fail "--version printed: $version"

command -v xdotool >/dev/null || harness_fail "xdotool is missing"
harness_xvfb || harness_fail "Xvfb did not start"
for n in 1 2 3 4; do export "ORBILEX_COM$n=/no-port"; done
chroot "$SYSROOT" "$inside" >"$WORK/start.log" 2>&1 &
harness_track $!
wait_for 20 harness_visible '^orbilex CD V' ||
  harness_fail "no window from the program on glibc $FLOOR: $(cat "$WORK/start.log")"
echo "PASS: $(tail -n 1 <<<"$versions") at most; runs on glibc $FLOOR"
