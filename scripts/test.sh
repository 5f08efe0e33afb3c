#!/usr/bin/env bash
# Builds everything (the Linux program, the one for the CD against the
# Debian 11 root that it makes first, and both Windows programs) and runs
# every test: all tests of the Linux build (unit tests, the programs on
# Xvfb and under Wine, the core's unit tests of the 64-bit Windows build
# under Wine, the 32-bit program's size and imports, the CD's program on
# glibc 2.31, the benchmark's smoke run; every preset is built first, since
# these tests read the other builds), the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short run of every
# fuzz target.
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

echo "== fuzz"
scripts/fuzz.sh 10
