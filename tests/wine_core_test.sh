#!/usr/bin/env bash
# The core's unit tests built as Windows programs and run under Wine, in a
# private prefix that is removed afterwards: the core compiled by mingw
# against the Windows C and C++ runtimes must pass the same tests as on
# Linux. The i686 build (build/win32/core_tests.exe, compiled as the
# product is) runs under the 32-bit loader, the x86_64 build
# (build/win64/core_tests.exe, which keeps the code 64-bit clean) under the
# 64-bit one; where the kernel refuses 32-bit code, the x86_64 run alone
# remains, and the reason is printed. Then the Windows platform's serial
# port tests (win32_tests.exe of the build under test), with COM5 leading
# to a pseudo-terminal that the device simulator ($DEVSIM) holds open
# (without the simulator, the test that needs a port is skipped).
#
# Needs both Windows builds (cmake --preset win32 && cmake --build --preset
# win32, the same for win64) and Wine; exits 77 (skipped) when any is
# missing, except under CI, where that fails.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"

harness_windows_build "$SOURCE_DIR" || harness_skip "Wine cannot run the Windows programs"
runs=("$HARNESS_WINE" "$SOURCE_DIR/build/win64/core_tests.exe")
[[ $HARNESS_WINLOADER == "$HARNESS_WINE32" ]] && runs+=("$HARNESS_WINE32" "$HARNESS_WINBUILD/core_tests.exe")
runs+=("$HARNESS_WINLOADER" "$HARNESS_WINBUILD/win32_tests.exe")
for ((i = 1; i < ${#runs[@]}; i += 2)); do
  preset=$(basename "$(dirname "${runs[i]}")")
  [[ -f ${runs[i]} ]] || harness_skip "no ${runs[i]} (cmake --preset $preset && cmake --build --preset $preset)"
done

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
for ((i = 0; i < ${#runs[@]}; i += 2)); do
  START_TEST_PORT=$port "${runs[i]}" "${runs[i + 1]}" --gtest_brief=1 </dev/null
  status=$?
  ((status == 0)) || harness_fail "${runs[i + 1]} under ${runs[i]} exited with $status"
done
echo "PASS: $(for ((i = 1; i < ${#runs[@]}; i += 2)); do printf '%s ' "${runs[i]#"$SOURCE_DIR"/}"; done)"
