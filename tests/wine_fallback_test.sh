#!/usr/bin/env bash
# The path taken where the kernel refuses 32-bit code, forced with
# START_WINE32=off: the Windows tests say why and run the x86_64 build with
# the 64-bit loader in place of the i686 product; here the core's unit
# tests, the shortest of them.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"

out=$(START_WINE32=off bash "$SOURCE_DIR/tests/wine_core_test.sh" 2>&1)
status=$?
((status == 77)) && { echo "$out"; exit 77; }
((status == 0)) || harness_fail "wine_core_test.sh with START_WINE32=off exited with $status: $out"
grep -qF 'NOTE: 32-bit code cannot run here (START_WINE32=off): the x86_64 build runs in place of the i686 product' \
  <<<"$out" || harness_fail "no note of the x86_64 build standing in: $out"
grep -qx 'PASS: build/win64/core_tests.exe build/win64/win32_tests.exe ' <<<"$out" ||
  harness_fail "not the x86_64 tests alone: $out"
echo "PASS"
