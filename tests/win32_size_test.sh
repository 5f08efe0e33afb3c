#!/usr/bin/env bash
# The product, the 32-bit build/win32/start.exe, stays small and
# self-contained: at most 256,000 bytes, importing no DLL but GDI32,
# KERNEL32, msvcrt, SHELL32 and USER32, and (by its link map) with every
# throw helper of the C++ library replaced (app/nothrow_win32.cpp): none of
# the library's objects was linked for a std::__throw_* function.
#
# Needs the win32 build (cmake --preset win32 && cmake --build --preset
# win32) and i686-w64-mingw32-objdump; exits 77 (skipped) when either is
# missing, except under CI, where that fails.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
source "$SOURCE_DIR/scripts/harness.sh"
EXE="$SOURCE_DIR/build/win32/start.exe"
MAP="$SOURCE_DIR/build/win32/start.map"
MAX_BYTES=256000
ALLOWED="gdi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll"

[[ -f "$EXE" ]] || harness_skip "no $EXE (cmake --preset win32 && cmake --build --preset win32)"
command -v i686-w64-mingw32-objdump >/dev/null || harness_skip "i686-w64-mingw32-objdump is not installed"
[[ -f "$MAP" ]] || harness_fail "no link map $MAP: rebuild the win32 preset"

bytes=$(stat -c %s "$EXE")
((bytes <= MAX_BYTES)) || harness_fail "start.exe has $bytes bytes, more than $MAX_BYTES"

imports=$(i686-w64-mingw32-objdump -p "$EXE" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
[[ -n "$imports" ]] || harness_fail "no imports read from start.exe"
for dll in $imports; do
  [[ " $ALLOWED " == *" $dll "* ]] || harness_fail "start.exe imports $dll (allowed: $ALLOWED)"
done

# The map's first part names each archive member and the symbol it was
# linked for.
helpers=$(sed -n '/^Archive member included/,/^Memory Configuration/p' "$MAP" |
  grep -oE '\((std::__throw_[a-z_]+|_ZSt[0-9]+__throw_[a-z_]+)' | tr -d '(' | sort -u)
[[ -z "$helpers" ]] || harness_fail "library throw helpers linked, not replaced in app/nothrow_win32.cpp:" $helpers

echo "PASS: start.exe $bytes bytes, imports $(echo $imports)"
