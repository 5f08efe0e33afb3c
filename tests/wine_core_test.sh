#!/usr/bin/env bash
# The core's unit tests built as a Windows program (build/win64/core_tests.exe
# of the win64 preset) and run under Wine, in a private prefix that is
# removed afterwards: the core compiled by mingw against the Windows C and
# C++ runtimes must pass the same tests as on Linux. Then the Windows
# platform's serial port tests (build/win64/win32_tests.exe), with COM5
# leading to a pseudo-terminal that the device simulator ($DEVSIM) holds
# open (without the simulator, the test that needs a port is skipped).
#
# Needs the win64 build (cmake --preset win64 && cmake --build --preset
# win64) and wine64; exits 77 (skipped) when either is missing, except under
# CI, where that fails.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
EXE="$SOURCE_DIR/build/win64/core_tests.exe"
PORT_TESTS="$SOURCE_DIR/build/win64/win32_tests.exe"

[[ -f "$EXE" && -f "$PORT_TESTS" ]] || harness_skip "no $EXE (cmake --preset win64 && cmake --build --preset win64)"
[[ -x "$HARNESS_WINE" && -x "$HARNESS_WINESERVER" ]] || harness_skip "wine64 is not installed"

work=$(mktemp -d /tmp/wine-core.XXXXXX)
cleanup() {
  # Ends this prefix's server (and anything left in it), then removes it.
  harness_cleanup
  rm -rf "$work"
}
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY

port=""
if [[ -n ${DEVSIM:-} && -x ${DEVSIM:-} ]]; then
  harness_devsim "$DEVSIM" "$work/com5" --kind xray --version 1.0 || harness_fail "no device simulator"
  port='\\.\COM5'
fi
harness_wine_prefix "$work/prefix" --port 5="$work/com5" || harness_fail "could not set up the Wine prefix"
"$HARNESS_WINE" "$EXE" --gtest_brief=1 </dev/null
status=$?
((status == 0)) || harness_fail "core_tests.exe under Wine exited with $status"
START_TEST_PORT=$port "$HARNESS_WINE" "$PORT_TESTS" --gtest_brief=1 </dev/null
status=$?
((status == 0)) || harness_fail "win32_tests.exe under Wine exited with $status"
echo "PASS"
