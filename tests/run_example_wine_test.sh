#!/usr/bin/env bash
# The Windows sample CD runs under Wine from its script, the i686 product
# at 200 % (192 dpi): the prompt and the window come up, and a click where
# the install entry is drawn, twice as large, starts setup.exe from the CD
# root.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
harness_windows_build "$SOURCE_DIR" || harness_skip "Wine cannot run the Windows program"
for program in "$SOURCE_DIR/build/linux/devsim" "$HARNESS_WINBUILD/start.exe" "$HARNESS_WINBUILD/winstub.exe"; do
  [[ -f "$program" ]] || harness_skip "$program is not built"
done
out=$(env -u DISPLAY "$SOURCE_DIR/scripts/run-example-wine.sh" --no-build --dpi 192 2>&1)
status=$?
[[ $status == 0 ]] || harness_fail "the script ended with $status: $out"
for expected in "The update prompt:" "The start window:" 'cd\setup.exe in Z:'; do
  grep -qF -- "$expected" <<<"$out" || harness_fail "no '$expected' in: $out"
done
