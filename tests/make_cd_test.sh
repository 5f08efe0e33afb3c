#!/usr/bin/env bash
# scripts/make-cd.sh with --cd and --out as users give them: nothing but
# what the script made is ever removed (an empty --out, /, a home folder, a
# root/ of someone else's), relative folders are the caller's, cdcheck's
# notes do not stop the image, and the image's name and label come from
# CDVersion's safe characters. A copy of
# the script runs, with stand-ins for the programs, from a folder outside
# /root and $HOME, always in a mount namespace of its own with a tmpfs over
# both: a script that removes them removes only the tmpfs.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
BUILD_DIR="${BUILD_DIR:-$SOURCE_DIR/build/linux}"
source "$SOURCE_DIR/scripts/harness.sh"

if [[ -z ${MAKE_CD_SANDBOX:-} ]]; then
  [[ -x "$BUILD_DIR/cdcheck" ]] || harness_fail "$BUILD_DIR/cdcheck is not built"
  command -v xorriso >/dev/null || harness_skip "xorriso is missing"
  unshare -m --propagation private true 2>/dev/null || harness_skip "no mount namespace (unshare -m)"
  MAKE_CD_SANDBOX=1 exec unshare -m --propagation private bash "$0" "$@"
fi
# In the namespace: nothing runs unless both are a fresh tmpfs.
for folder in /root "${HOME:?}"; do
  if [[ $(findmnt -n -o SOURCE --target "$folder" | tail -n 1) != make-cd-test ]]; then
    mount -t tmpfs make-cd-test "$folder" || harness_fail "cannot put a tmpfs over $folder"
  fi
  [[ $(findmnt -n -o SOURCE --target "$folder" | tail -n 1) == make-cd-test ]] ||
    harness_fail "$folder is not the tmpfs"
done

WORK=$(mktemp -d /tmp/make-cd-test.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
case $WORK/ in /root/* | "$HOME"/*) harness_fail "$WORK lies in /root or $HOME" ;; esac
# The script's copy, beside stand-ins for the programs it puts on the CD.
REPO=$WORK/repo
mkdir -p "$REPO/scripts" "$REPO/build/linux" "$REPO/build/linux-compat" "$REPO/build/win32"
cp "$SOURCE_DIR/scripts/make-cd.sh" "$SOURCE_DIR/scripts/buildinfo.sh" "$REPO/scripts/"
cp "$SOURCE_DIR/CMakeLists.txt" "$REPO/"
# No git checkout: the files' date is given.
export SOURCE_DATE_EPOCH=1700000000
cp -r "$SOURCE_DIR/example" "$REPO/example"
cp "$BUILD_DIR/cdcheck" "$REPO/build/linux/cdcheck"
cp /bin/true "$REPO/build/linux-compat/start"
printf 'MZ' >"$REPO/build/win32/start.exe"
CALLER=$WORK/caller
mkdir -p "$CALLER"
make_cd() { (cd "$CALLER" && "$REPO/scripts/make-cd.sh" --no-build "$@") >"$WORK/log" 2>&1; }
failures=0
fail() {
  echo "FAIL $*: $(cat "$WORK/log")"
  failures=$((failures + 1))
}

# Refused before anything is touched: the files planted there stay.
mkdir -p "$HOME/root" "$CALLER/theirs/root"
touch /root/keep "$HOME/root/keep" "$CALLER/theirs/root/keep"
# out | what the refusal says
REFUSED=(
  "|--out needs a folder"
  "/|is / or a home folder"
  "$HOME|is / or a home folder"
  "/root/|is / or a home folder"
  "theirs|was not made by make-cd.sh"
  "../caller|lies inside the CD's files"
)
for entry in "${REFUSED[@]}"; do
  IFS='|' read -r out text <<<"$entry"
  if [[ $out == ../caller ]]; then
    make_cd --cd . --out "$out"
  else
    make_cd --out "$out"
  fi
  status=$?
  [[ $status == 2 ]] || fail "--out '$out': exit status $status, wanted 2"
  grep -qF -- "$text" "$WORK/log" || fail "--out '$out': no \"$text\""
  for kept in /root/keep "$HOME/root/keep" "$CALLER/theirs/root/keep"; do
    [[ -f $kept ]] || fail "--out '$out' removed $kept"
  done
done
make_cd --out
[[ $? == 2 ]] && grep -q -- "--out needs a folder" "$WORK/log" || fail "--out without a folder"

# Relative folders are the caller's; a root/ the script made is replaced.
cp -r "$SOURCE_DIR/example" "$CALLER/mycd"
sed -i 's/^CDVersion=.*/CDVersion=3.4/' "$CALLER/mycd/start.ins"
for round in 1 2; do
  make_cd --cd mycd --out out || fail "relative folders, round $round"
  [[ -f $CALLER/out/orbilex-3.4.iso && -f $CALLER/out/root/setup.exe ]] ||
    fail "relative folders, round $round: no $CALLER/out/orbilex-3.4.iso"
  [[ -f $CALLER/out/root/stale ]] && fail "round $round: the old root was left"
  touch "$CALLER/out/root/stale"
done
[[ -e $REPO/build/cd || -e $REPO/out ]] && fail "relative folders were taken from the repository"
[[ -z $(find "$CALLER/out" -name '.root.*') ]] || fail "a staging folder was left behind"

# A note of cdcheck's (a UTF-16 start.ins, which the menu reads) does not
# stop the image.
cp -r "$SOURCE_DIR/example" "$CALLER/utf16"
{ printf '\xFE\xFF' && printf '[CDStart]\r\nCDVersion=5.6\r\n' | iconv -t UTF-16BE; } >"$CALLER/utf16/start.ins"
make_cd --cd utf16 --out utf16-out && [[ -f $CALLER/utf16-out/orbilex-5.6.iso ]] ||
  fail "a UTF-16 start.ins: no image"

# CDVersion | image name | volume label (nothing: refused)
VERSIONS=(
  '2.1|orbilex-2.1.iso|ORBILEX_CD_2_1'
  '"a/b\c" 1|orbilex-a_b_c_1.iso|ORBILEX_CD_A_B_C_1'
  '../x|orbilex-x.iso|ORBILEX_CD_X'
  '"/\"||'
)
for entry in "${VERSIONS[@]}"; do
  IFS='|' read -r version image label <<<"$entry"
  rm -rf "$CALLER/v"
  cp -r "$SOURCE_DIR/example" "$CALLER/v"
  printf '[CDStart]\r\nCDVersion=%s\r\n' "$version" >"$CALLER/v/start.ins"
  make_cd --cd v --out "vout"
  status=$?
  if [[ -z $image ]]; then
    [[ $status == 2 ]] && grep -q "has no letter or digit to name the image by" "$WORK/log" ||
      fail "CDVersion $version: not refused"
    [[ -z $(find "$CALLER/vout" -name '*.iso') ]] || fail "CDVersion $version: an image was written"
    continue
  fi
  [[ $status == 0 && -f $CALLER/vout/$image ]] || fail "CDVersion $version: no $image"
  xorriso -indev "$CALLER/vout/$image" -pvd_info 2>/dev/null | grep -qE "^Volume Id +: $label\$" ||
    fail "CDVersion $version: the label is not $label"
  rm -f "$CALLER/vout/$image"
done
((failures == 0))
