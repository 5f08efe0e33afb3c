#!/usr/bin/env bash
# Two builds of the same sources, in different folders and at different
# times, give the same files byte for byte:
#  1. the shipped programs (build/win32/start.exe, the product, and
#     cdcheck.exe; build/linux-compat/start, the CD's Linux program, here
#     before stripping; build/linux/cdcheck) are built once more from a copy
#     of the source tree at another path, in another time zone, and compared
#     with those of the source tree;
#  2. scripts/make-cd.sh makes the image twice, into different folders, the
#     second time from the sample CD's files copied in reverse order (so
#     that they lie on the disk in another order), and the two images are
#     compared.
# Takes the builds of the source tree as they are (scripts/test.sh builds
# them); exits 77 (skipped) when one is missing, except under CI.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
PROGRAMS=(build/win32/start.exe build/win32/cdcheck.exe build/linux-compat/start build/linux/cdcheck)
for program in "${PROGRAMS[@]}"; do
  [[ -f "$SOURCE_DIR/$program" ]] || harness_skip "$program is not built"
done
WORK=$(mktemp -d /tmp/reproducible-test.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
# make-cd.sh takes the date of the files on the CD from the commit; the copy
# below is no git checkout, so the date is given.
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$SOURCE_DIR" log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=1700000000

"$SOURCE_DIR/scripts/make-cd.sh" --no-build --out "$WORK/cd-first" >"$WORK/make-first.log" 2>&1 ||
  harness_fail "make-cd.sh: $(cat "$WORK/make-first.log")"

COPY="$WORK/another/folder/start"
mkdir -p "$COPY/build"
tar -C "$SOURCE_DIR" --exclude=./build --exclude=./.git -cf - . | tar -C "$COPY" -xf - ||
  harness_fail "could not copy the source tree"
ln -s "$(realpath "$SOURCE_DIR/build/sysroot-bullseye")" "$COPY/build/sysroot-bullseye"
(
  cd "$COPY" || exit 1
  export TZ=Pacific/Kiritimati
  for preset in win32 linux-compat linux; do cmake --preset "$preset" || exit 1; done
  cmake --build --preset win32 --target start cdcheck &&
    cmake --build --preset linux-compat &&
    cmake --build --preset linux --target cdcheck
) >"$WORK/build.log" 2>&1 || harness_fail "the second build failed: $(tail -n 30 "$WORK/build.log")"

differ=()
for program in "${PROGRAMS[@]}"; do
  cmp -s "$SOURCE_DIR/$program" "$COPY/$program" || differ+=("$program")
done
((${#differ[@]} == 0)) || harness_fail "built again elsewhere, these differ: ${differ[*]}"

mkdir -p "$WORK/reversed"
(cd "$SOURCE_DIR/example" && find . -type f | LC_ALL=C sort -r) | while read -r file; do
  mkdir -p "$WORK/reversed/$(dirname "$file")" && cp "$SOURCE_DIR/example/$file" "$WORK/reversed/$file"
done
TZ=Pacific/Kiritimati "$SOURCE_DIR/scripts/make-cd.sh" --no-build --cd "$WORK/reversed" --out "$WORK/cd-second" \
  >"$WORK/make-second.log" 2>&1 || harness_fail "make-cd.sh, second time: $(cat "$WORK/make-second.log")"
cmp "$WORK/cd-first/orbilex-2.1.iso" "$WORK/cd-second/orbilex-2.1.iso" ||
  harness_fail "the image made a second time differs"
echo "PASS: ${PROGRAMS[*]} and the image are the same when made again"
