#!/usr/bin/env bash
# The core's unit tests built as a Windows program (build/win64/core_tests.exe
# of the win64 preset) and run under Wine, in a private prefix that is
# removed afterwards: the core compiled by mingw against the Windows C and
# C++ runtimes must pass the same tests as on Linux.
#
# Needs the win64 build (cmake --preset win64 && cmake --build --preset
# win64) and wine64; exits 77 (skipped) when either is missing, except under
# CI, where that fails.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
EXE="$SOURCE_DIR/build/win64/core_tests.exe"

[[ -f "$EXE" ]] || harness_skip "no $EXE (cmake --preset win64 && cmake --build --preset win64)"
[[ -x "$HARNESS_WINE" && -x "$HARNESS_WINESERVER" ]] || harness_skip "wine64 is not installed"

work=$(mktemp -d /tmp/wine-core.XXXXXX)
cleanup() {
  # Ends this prefix's server (and anything left in it), then removes it.
  harness_cleanup
  rm -rf "$work"
}
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY

harness_wine_prefix "$work/prefix" || harness_fail "could not set up the Wine prefix"
"$HARNESS_WINE" "$EXE" --gtest_brief=1 </dev/null
status=$?
((status == 0)) || harness_fail "core_tests.exe under Wine exited with $status"
echo "PASS"
