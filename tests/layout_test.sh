#!/usr/bin/env bash
# The include rules that keep the layers apart, read from the sources:
#   platform/  includes nothing of the program above it (app/, detect/,
#              ui/, toolkit/);
#   toolkit/   includes nothing of the application (app/, detect/, ui/);
#   app/, detect/ include no toolkit header, and no window of ui/, except
#              the program's entries (app/start*.cpp), which create the
#              windows and pick a backend, and the two detection stages
#              (detect/cdetect.cpp, detect/rdetect.cpp), which arm the start
#              window's timers and show the prompts;
#   the core (app/, detect/, ui/, the toolkit's models) includes no header
#              of an operating system or of a window system, except in the
#              program's entries for Windows and Linux.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$SOURCE_DIR" || exit 1

# Prints "file: include" for each include of the files $2.. that matches the
# extended regular expression $1.
includes() {
  local pattern=$1
  shift
  grep -HE "^#include [<\"]($pattern)" "$@" 2>/dev/null | sed -E 's/:#include [<"]([^>"]*)[>"].*/: \1/'
}

core=(app/*.cpp app/*.h detect/* ui/* toolkit/forms.* toolkit/host.h toolkit/cp1252.* toolkit/bmp.*)
entries='^app/start_(linux|win32)\.cpp$'
violations=$(
  includes 'app/|detect/|ui/|toolkit/' platform/*
  includes 'app/|detect/|ui/' toolkit/*
  includes 'toolkit/' app/* detect/* | grep -vE '^app/start[^:]*\.cpp:'
  includes 'ui/' app/* detect/* | grep -vE '^app/start[^:]*\.cpp:' | grep -vE '^detect/[cr]detect\.cpp: ui/(startf|updatef)\.h$'
  includes 'windows\.h|unistd\.h|fcntl\.h|termios\.h|sys/|FL/|X11/|fontconfig/' "${core[@]}" |
    grep -vE "${entries%\$}:"
)
[[ -z $violations ]] && exit 0
echo "FAIL: includes that cross the layers:"
echo "$violations"
exit 1
