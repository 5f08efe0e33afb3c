#!/usr/bin/env bash
# The one package list (scripts/packages.txt) holds what the build and the
# tests need: every library on the Linux program's link line belongs to a
# package of the "build" job or to one of their hard dependencies (Depends
# and Pre-Depends, not Recommends or Suggests), and every tool that the
# scripts run belongs to a listed package. The check is run once more
# against a list that lacks libxcursor-dev and libxinerama-dev, and must fail
# there, so it can catch the fault it is for.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
BUILD_DIR="${BUILD_DIR:-$SOURCE_DIR/build/linux}"
LIST="$SOURCE_DIR/scripts/packages.txt"
fail() {
  echo "FAIL: $*"
  exit 1
}

# The packages of job $2 in list $1.
packages_of() { awk -v job="$2" '!/^#/ && NF { for (i = 2; i <= NF; i++) if ($i == job) print $1 }' "$1"; }

# The installed packages that packages $@ pull in through Depends and
# Pre-Depends, themselves included; of alternatives, those installed. A
# package of another architecture (wine32:i386) counts by its name.
closure() {
  dpkg-query -W -f='${db:Status-Status}\t${Package}\t${Depends},${Pre-Depends}\n' |
    awk -F '\t' -v roots="$*" '
      $1 == "installed" { deps[$2] = $3 }
      END {
        n = split(roots, todo, " ")
        for (i = 1; i <= n; i++) sub(/:.*/, "", todo[i])
        while (n > 0) {
          p = todo[n--]
          if (!(p in deps) || (p in seen)) continue
          seen[p] = 1
          m = split(deps[p], d, /[,|]/)
          for (i = 1; i <= m; i++) {
            q = d[i]; sub(/\(.*\)/, "", q); gsub(/ /, "", q); sub(/:.*/, "", q)
            if (q != "" && !(q in seen)) todo[++n] = q
          }
        }
        for (p in seen) print p
      }'
}

# The package that owns file $1 (merged /usr: also tried without /usr).
owner() {
  local f
  f=$(realpath -s "$1")
  dpkg -S "$f" 2>/dev/null | head -1 | cut -d: -f1 ||
    dpkg -S "${f#/usr}" 2>/dev/null | head -1 | cut -d: -f1
}

# The files of the libraries on the Linux program's link line.
link_libraries() {
  local cmd arg lib
  cmd=$(ninja -C "$BUILD_DIR" -t commands start | tail -1)
  [[ -n $cmd ]] || fail "no link command for start in $BUILD_DIR"
  for arg in $cmd; do
    case $arg in
      -l*)
        lib=$(g++ -print-file-name="lib${arg#-l}.so")
        [[ $lib == /* ]] || lib=$(g++ -print-file-name="lib${arg#-l}.a")
        echo "$lib"
        ;;
      /*.a | /*.so) echo "$arg" ;;
    esac
  done | sort -u
}

# The tools that the scripts and the tests run.
TOOLS=(cmake ninja g++ pkg-config fltk-config Xvfb openbox fluxbox xsettingsd xdotool xwininfo xprop import
  compare i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ /usr/lib/wine/wine64 /usr/lib/wine/wine clang++ xorriso
  debootstrap wget objdump git osslsigncode openssl dbus-run-session /usr/libexec/at-spi-bus-launcher)

# Checks list $1; prints what it misses and returns 1 when it misses any.
check() {
  local list=$1 lib tool path pkg missing=0
  local -A build=() all=()
  for pkg in $(closure $(packages_of "$list" build)); do build[$pkg]=1; done
  for pkg in $(closure $(awk '!/^#/ && NF { print $1 }' "$list")); do all[$pkg]=1; done
  while read -r lib; do
    [[ $lib == "$BUILD_DIR"/* ]] && continue # the project's own libraries
    pkg=$(owner "$lib")
    [[ -n $pkg ]] || { echo "no package owns $lib"; missing=1; continue; }
    [[ -n ${build[$pkg]:-} ]] || { echo "$lib ($pkg) is not pulled in by the build job"; missing=1; }
  done < <(link_libraries)
  for tool in "${TOOLS[@]}"; do
    path=$(command -v "$tool") || { echo "$tool is not installed"; missing=1; continue; }
    pkg=$(owner "$(readlink -f "$path")")
    [[ -n $pkg && -n ${all[$pkg]:-} ]] || { echo "$tool (${pkg:-no package}) is not pulled in"; missing=1; }
  done
  return $missing
}

[[ -f "$BUILD_DIR/build.ninja" ]] || fail "$BUILD_DIR is not configured"
check "$LIST" || fail "scripts/packages.txt misses what is named above"

short=$(mktemp)
trap 'rm -f "$short"' EXIT
grep -vE '^(libxcursor-dev|libxinerama-dev) ' "$LIST" >"$short"
out=$(check "$short") && fail "the check passed a list without libxcursor-dev and libxinerama-dev"
grep -q libXcursor <<<"$out" || fail "the check missed libXcursor: $out"
