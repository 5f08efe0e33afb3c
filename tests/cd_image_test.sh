#!/usr/bin/env bash
# The CD image as scripts/make-cd.sh writes it, checked without mounting:
# the file list and modes read back with xorriso (Rock Ridge keeps the Linux
# program's exec bit; the Joliet tree has the names as written), the volume
# label, then the image extracted with osirrox, found clean by cdcheck,
# with the build's start.exe, unsigned, and buildinfo.txt, its Linux program
# the one built for glibc 2.31 (build/linux-compat/start, stripped), and run
# on Xvfb until its window is mapped.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
WORK=$(mktemp -d /tmp/cd-image-test.XXXXXX)
cleanup() {
  harness_cleanup
  chmod -R u+w "$WORK" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
for program in build/linux-compat/start build/linux/cdcheck build/win32/start.exe; do
  [[ -f "$SOURCE_DIR/$program" ]] || harness_skip "$program is not built"
done

"$SOURCE_DIR/scripts/make-cd.sh" --no-build --out "$WORK/cd" >"$WORK/make.log" 2>&1 ||
  harness_fail "make-cd.sh: $(cat "$WORK/make.log")"
ISO="$WORK/cd/orbilex-2.1.iso"
[[ -f $ISO ]] || harness_fail "no image $ISO: $(cat "$WORK/make.log")"

xorriso -indev "$ISO" -find / -exec lsdl 2>/dev/null >"$WORK/list"
for entry in "-r-xr-xr-x .* '/start'" "-r-xr-xr-x .* '/autorun.sh'" "-r.*'/start.exe'" \
  "-r--r--r-- .* '/autorun.inf'" "-r--r--r-- .* '/start.ins'" "-r-xr-xr-x .* '/Update/Tarvex/VXupdate.exe'"; do
  grep -qE -- "^$entry\$" "$WORK/list" || harness_fail "the image lacks /$entry/: $(cat "$WORK/list")"
done
grep -q "'/README.md'" "$WORK/list" && harness_fail "the sample CD's README went onto the CD"
xorriso -read_fs norock -indev "$ISO" -ls /Update/Tarvex 2>/dev/null | grep -qx "'VXupdate.exe'" ||
  harness_fail "the Joliet tree lacks Update/Tarvex/VXupdate.exe as written"
xorriso -indev "$ISO" -pvd_info 2>/dev/null | grep -qE '^Volume Id +: ORBILEX_CD_2_1$' ||
  harness_fail "the volume label is not ORBILEX_CD_2_1"

osirrox -indev "$ISO" -extract / "$WORK/extracted" >/dev/null 2>&1 || harness_fail "osirrox could not extract"
[[ -x "$WORK/extracted/start" ]] || harness_fail "the extracted program is not executable"
"$SOURCE_DIR/build/linux/cdcheck" "$WORK/extracted" >"$WORK/cdcheck.txt" ||
  harness_fail "cdcheck on the extracted CD: $(cat "$WORK/cdcheck.txt")"
cmp -s "$SOURCE_DIR/build/win32/start.exe" "$WORK/extracted/start.exe" ||
  harness_fail "the CD's start.exe is not build/win32/start.exe as built (signed unasked?)"
grep -q '^start .*, commit ' "$WORK/extracted/buildinfo.txt" || harness_fail "the CD has no buildinfo.txt naming its commit"
strip -o "$WORK/start.stripped" "$SOURCE_DIR/build/linux-compat/start"
cmp -s "$WORK/start.stripped" "$WORK/extracted/start" ||
  harness_fail "the CD's start is not build/linux-compat/start, stripped"

command -v xdotool >/dev/null || harness_fail "xdotool is missing"
harness_xvfb || harness_fail "Xvfb did not start"
# No port leads to the machine's own serial devices.
for n in 1 2 3 4; do export "ORBILEX_COM$n=$WORK/no-port"; done
"$WORK/extracted/start" >"$WORK/start.log" 2>&1 &
harness_track $!
wait_for 20 harness_visible '^orbilex CD V2\.1$' ||
  harness_fail "the program from the image showed no window: $(cat "$WORK/start.log")"
