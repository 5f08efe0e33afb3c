#!/usr/bin/env bash
# Builds everything (the Linux program, the one for the CD against the
# Debian 11 root that it makes first, and both Windows programs) and runs
# every test: all tests of the Linux build (unit tests, the Linux program on
# Xvfb and the 32-bit Windows product under 32-bit Wine, the core's unit
# tests of both Windows builds under Wine, the 32-bit program's size and
# imports, the CD's program on glibc 2.31, the benchmark's smoke run; every
# preset is built first, since these tests read the other builds), the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, the window test and the
# user scenarios with the program built so, and a short run of every fuzz
# target.
# Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/make-sysroot.sh

jobs=$(nproc)
for preset in linux linux-compat win32 win64 linux-asan; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

echo "== test linux"
ctest --preset linux -j "$jobs"

echo "== test linux-asan (unit tests)"
ctest --preset linux-asan -j "$jobs" -L unit

# The real program, its device simulator and its stand-in programs under the
# sanitizers, driven by the window test and the user scenarios. Their
# reports go to files, since the tests keep only what decides their verdict.
# Leaks are not looked for: FLTK and fontconfig keep their fonts until the
# program ends.
echo "== test linux-asan (the program under the sanitizers)"
reports=build/linux-asan/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
ASAN_OPTIONS="detect_leaks=0:log_path=$PWD/$reports/asan" \
  UBSAN_OPTIONS="print_stacktrace=1:log_path=$PWD/$reports/ubsan" \
  ctest --preset linux-asan -R '^(xvfb_window|linux_scenarios)_test$'
if compgen -G "$reports/*" >/dev/null; then
  head -n 40 "$reports"/*
  echo "the sanitizers reported errors of the running program (above, in $reports)" >&2
  exit 1
fi

echo "== fuzz"
scripts/fuzz.sh 10
