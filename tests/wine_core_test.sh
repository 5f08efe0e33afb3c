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
EXE="$SOURCE_DIR/build/win64/core_tests.exe"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

fail() {
  echo "FAIL: $*"
  exit 1
}
skip() {
  [[ -n "${CI:-}" ]] && fail "$* (not skipped under CI)"
  echo "SKIP: $*"
  exit 77
}

[[ -f "$EXE" ]] || skip "no $EXE (cmake --preset win64 && cmake --build --preset win64)"
[[ -x "$WINE" && -x "$WINESERVER" ]] || skip "wine64 is not installed"

work=$(mktemp -d /tmp/wine-core.XXXXXX)
cleanup() {
  # Ends this prefix's server (and anything left in it), then removes it.
  "$WINESERVER" -k 2>/dev/null
  "$WINESERVER" -w 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

WINEDLLOVERRIDES="winemenubuilder.exe=d" "$WINE" wineboot -i >"$work/wineboot.log" 2>&1 </dev/null ||
  fail "wineboot failed: $(tail -5 "$work/wineboot.log")"
"$WINE" "$EXE" --gtest_brief=1 </dev/null
status=$?
((status == 0)) || fail "core_tests.exe under Wine exited with $status"
echo "PASS"
