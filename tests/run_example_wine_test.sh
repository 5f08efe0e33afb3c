#!/usr/bin/env bash
# The Windows sample CD runs under Wine from its script, at 200 % (192 dpi):
# the prompt and the window come up, and a click where the install entry is
# drawn, twice as large, starts setup.exe from the CD root.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
for program in build/linux/devsim build/win64/start.exe build/win64/winstub.exe; do
  [[ -f "$SOURCE_DIR/$program" ]] || harness_skip "$program is not built"
done
out=$(env -u DISPLAY "$SOURCE_DIR/scripts/run-example-wine.sh" --no-build --dpi 192 2>&1)
status=$?
[[ $status == 0 ]] || harness_fail "the script ended with $status: $out"
for expected in "The update prompt:" "The start window:" 'cd\setup.exe in Z:'; do
  grep -qF -- "$expected" <<<"$out" || harness_fail "no '$expected' in: $out"
done
