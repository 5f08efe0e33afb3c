#!/usr/bin/env bash
# The Windows sample CD runs under Wine from its script, at 200 % (192 dpi):
# the prompt and the window come up, and a click where the install entry is
# drawn, twice as large, starts setup.exe from the CD root.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
for program in build/linux/devsim build/win64/start.exe build/win64/winstub.exe; do
  [[ -f "$SOURCE_DIR/$program" ]] && continue
  [[ -n ${CI:-} ]] && { echo "FAIL: $program is not built"; exit 1; }
  echo "SKIP: $program is not built"
  exit 77
done
out=$(env -u DISPLAY "$SOURCE_DIR/scripts/run-example-wine.sh" --no-build --dpi 192 2>&1)
status=$?
[[ $status == 0 ]] || { echo "FAIL: the script ended with $status: $out"; exit 1; }
for expected in "The update prompt:" "The start window:" 'cd\setup.exe in Z:'; do
  grep -qF -- "$expected" <<<"$out" || { echo "FAIL: no '$expected' in: $out"; exit 1; }
done
