#!/usr/bin/env bash
# Runs the Windows start menu on the sample CD under Wine, laid out as it
# will be burned: start.exe beside start.ins, and the programs the entries
# start played by winstub.exe, a small Windows program that notes how it
# was started. A simulated Tarvex interface whose firmware is out of date
# answers on COM2, so the update prompt comes up about 0.4 s after the
# window.
#
# The program is the product, the 32-bit build/win32/start.exe, run by
# Wine's 32-bit loader. Where the kernel refuses 32-bit code, the 64-bit
# build (build/win64/start.exe), made from the same sources, stands in and
# the script says so.
#
# With a display ($DISPLAY set) the window opens there and the script waits
# until it is closed. Without one it runs on a private Xvfb server, saves
# screenshots of the prompt and of the start window in build/screenshots/,
# and closes the program. Wine runs in a private prefix in a temporary
# folder.
# Usage: scripts/run-example-wine.sh [--no-build] [--dpi N]
#   --no-build  use build/linux/devsim and the Windows build as they are
#   --dpi N     Wine's screen resolution (LogPixels), e.g. 192 for 200 %
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/harness.sh"
SHOTS="$ROOT/build/screenshots"

build=yes
dpi=""
while (($#)); do
  case $1 in
    --no-build) build=no; shift ;;
    --dpi) dpi=${2:-none}; shift $(($# >= 2 ? 2 : 1)) ;;
    *) echo "unknown argument $1 (usage: $0 [--no-build] [--dpi N])" >&2; exit 2 ;;
  esac
done
[[ -z $dpi || $dpi =~ ^[1-9][0-9]*$ ]] || { echo "--dpi takes a number of dots per inch (192 for 200 %)" >&2; exit 2; }

cd "$ROOT"
if [[ $build == yes ]]; then
  scripts/install-deps.sh build run windows wine
fi
harness_windows_build "$ROOT" || exit 1
WINE=$HARNESS_WINLOADER
WINBUILD=$HARNESS_WINBUILD
if [[ $build == yes ]]; then
  for preset in linux "${WINBUILD##*/}"; do
    [[ -f build/$preset/build.ninja ]] || cmake --preset "$preset" >/dev/null
  done
  cmake --build --preset linux --target devsim
  cmake --build --preset "${WINBUILD##*/}" --target start winstub
fi

WORK=$(mktemp -d /tmp/orbilex-example-wine.XXXXXX)
cleanup() {
  harness_cleanup
  rm -rf "$WORK"
}
trap cleanup EXIT

# The CD: the sample's files, start.exe at its root, and winstub.exe as
# every program an entry starts.
CD="$WORK/cd"
cp -r example "$CD"
rm -f "$CD/README.md" "$CD/autorun.sh"
cp "$WINBUILD/start.exe" "$CD/start.exe"
for program in setup.exe Update/Tarvex/VXupdate.exe Update/Display/update.exe \
  Update/Rtg/rtgupd.exe Update/fhv/fhvupd.exe Acrobat/Ar405deu.exe Acrobat/Ar405eng.exe; do
  cp "$WINBUILD/winstub.exe" "$CD/$program"
done
export START_STUB_LOG="$WORK/started.log"

# Without a display, a private X server, made before the prefix: the
# programs Wine starts in it (its desktop among them) stay with the display
# they found, and a program started later would show no window.
headless=no
if [[ -z "${DISPLAY:-}" ]]; then
  headless=yes
  harness_xvfb || exit 1
  harness_openbox || exit 1
fi

# Wine: a private prefix with the fonts, COM2 leading to the simulated
# interface, the other ports to nothing (never to the machine's own ports).
echo "Preparing a private Wine prefix (about 10 s)..."
harness_wine_prefix "$WORK/prefix" --port 2="$WORK/com2" ${dpi:+--dpi "$dpi"} || exit 1

harness_devsim build/linux/devsim "$WORK/com2" --kind interface --version 1.5 \
  --log "$WORK/com2.log" || exit 1

# Lists what the program started from the CD.
report() {
  if [[ -s "$START_STUB_LOG" ]]; then
    echo "started from the CD:"
    cut -f1,2 "$START_STUB_LOG" | sed 's/\t/ in /; s/^/  /'
  else
    echo "nothing was started from the CD"
  fi
}

if [[ $headless == no ]]; then
  echo "The start menu opens on $DISPLAY; close it (Exit, or an entry) to end."
  "$WINE" "$CD/start.exe" || true
  report
  exit 0
fi

echo "No display: running on Xvfb $DISPLAY with openbox."
(cd "$CD" && exec "$WINE" start.exe) >"$WORK/start.log" 2>&1 &
START_PID=$!
harness_track "$START_PID"
harness_example_tour "$WORK/start.log" "$SHOTS" wine-example || exit 1
xdotool mousemove --window "$HARNESS_MAIN" $((110 * HARNESS_PERCENT / 100)) $((71 * HARNESS_PERCENT / 100)) click 1 # Install or update: starts setup.exe
wait_for 10 harness_ended "$START_PID" || echo "the program did not end after the install entry" >&2
wait_for 10 test -s "$START_STUB_LOG" || true
report
