#!/usr/bin/env bash
# The benchmark still runs end to end on the programs as built: one measured
# run of each program and of its baseline with a short idle period gives
# every row of its tables a number, and the start-up a ratio to the
# baseline. The figures themselves are not judged here (they depend on the
# machine); bench/run.sh is where they are read.
#
# Needs build/linux/startbench and the baselines, both Windows builds, Wine
# and Xvfb; exits 77 (skipped) when something is missing.
set -uo pipefail

SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
harness_windows_build "$SOURCE_DIR" || harness_skip "Wine cannot run the Windows program"
for program in linux/start linux/startbench linux/devsim linux/baseline_fltk win32/start.exe \
  win64/start.exe "${HARNESS_WINBUILD##*/}/baseline_win32.exe"; do
  [[ -f "$SOURCE_DIR/build/$program" ]] || harness_skip "build/$program is not built"
done
command -v Xvfb >/dev/null || harness_skip "Xvfb is not installed"

OUT=$(mktemp -d /tmp/bench-test.XXXXXX)
trap 'rm -rf "$OUT"' EXIT

"$SOURCE_DIR/bench/run.sh" --no-build --reps 1 --startups 1 --idle 1 --out "$OUT/results.md" \
  >"$OUT/log" 2>&1 ||
  harness_fail "bench/run.sh failed: $(tail -n 20 "$OUT/log")"

# Rows of measures: a label, then median and maximum for both programs, and
# the target; rows of sizes: a label, a number of bytes, the target.
measures=$(grep -cE '^[|] [a-zA-Z].*[(](ms|MB)' "$OUT/results.md")
((measures == 11)) || harness_fail "expected 11 rows of measures, found $measures: $(cat "$OUT/results.md")"
awk -F' [|] ' '/^[|] [a-zA-Z].*\((ms|MB)/ {
    for (i = 2; i <= 5; i++) if ($i !~ /^-?[0-9]+\.[0-9]+$/) { print "not a number: " $0; bad = 1 }
  } END { exit bad }' "$OUT/results.md" || harness_fail "a measure without its four numbers"
grep -qE '^[|] start-up against the baseline .*[|] [0-9]+[.][0-9]+ [|] +[|] [0-9]+[.][0-9]+ [|]' \
  "$OUT/results.md" || harness_fail "no ratio of both programs' start-up to their baseline's"
sizes=$(grep -cE '^\| start(\.exe)?, .* \| [1-9][0-9]* \|' "$OUT/results.md")
((sizes == 3)) || harness_fail "expected the sizes of 3 programs, found $sizes: $(cat "$OUT/results.md")"
echo "PASS: bench/run.sh measured both programs"
