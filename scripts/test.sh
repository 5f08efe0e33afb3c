#!/usr/bin/env bash
# Builds everything (the Linux program and both Windows programs) and runs
# every test. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
for preset in linux win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

echo "== test linux"
ctest --preset linux -j "$jobs"
