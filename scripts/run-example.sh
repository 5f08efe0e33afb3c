#!/usr/bin/env bash
# Runs the start menu on the sample CD in example/, with a simulated Tarvex
# interface whose firmware is out of date on COM2, so the update prompt
# comes up about 0.4 s after the window.
#
# With a display ($DISPLAY set) the window opens there and the script waits
# until it is closed. Without one it runs on a private Xvfb server, saves
# screenshots in build/screenshots/, and closes the program.
#
# Builds the Linux program first when needed, and installs missing Debian
# packages when run as root. The repository stays as it is: the program runs
# from a copy of the CD in a temporary folder.
# Usage: scripts/run-example.sh
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/harness.sh"
BUILD="$ROOT/build/linux"
SHOTS="$ROOT/build/screenshots"

"$ROOT/scripts/install-deps.sh" build run

cd "$ROOT"
[[ -f "$BUILD/build.ninja" ]] || cmake --preset linux >/dev/null
cmake --build --preset linux --target start devsim

WORK=$(mktemp -d /tmp/orbilex-example.XXXXXX)
cleanup() {
  harness_cleanup
  rm -rf "$WORK"
}
trap cleanup EXIT

# The CD: the sample's files with the program beside start.ins (the program
# takes the CD root from its own file's place, so it is copied, not linked).
CD="$WORK/cd"
cp -r "$ROOT/example" "$CD"
cp "$BUILD/start" "$CD/start"
export START_EXAMPLE_LOG="$WORK/launched.log"

# The serial ports: none lead to the machine's own /dev/ttyS*.
export ORBILEX_COM1="$WORK/no-port" ORBILEX_COM2="$WORK/com2" ORBILEX_COM3="$WORK/no-port" \
  ORBILEX_COM4="$WORK/no-port"

# Starts what the program talks to before it starts: a Tarvex interface
# with firmware 1.5 (start.ins asks for 2.0) on COM2.
start_helpers() {
  harness_devsim "$BUILD/devsim" "$WORK/com2" --kind interface --version 1.5 \
    --log "$WORK/com2.log" || exit 1
}

# Lists what the program started from the CD.
report() {
  if [[ -s "$START_EXAMPLE_LOG" ]]; then
    echo "started from the CD:"
    sed 's/^/  /' "$START_EXAMPLE_LOG"
  else
    echo "nothing was started from the CD"
  fi
}

start_helpers

if [[ -n "${DISPLAY:-}" ]]; then
  echo "The start menu opens on $DISPLAY; close it (Exit, or an entry) to end."
  "$CD/start" || true
  report
  exit 0
fi

harness_xvfb || exit 1
harness_openbox || exit 1
echo "No display: running on Xvfb $DISPLAY with openbox."

"$CD/start" >"$WORK/start.log" 2>&1 &
START_PID=$!
harness_track "$START_PID"
harness_example_tour "$WORK/start.log" "$SHOTS" example || exit 1
xdotool mousemove --window "$HARNESS_MAIN" $((110 * HARNESS_PERCENT / 100)) $((222 * HARNESS_PERCENT / 100)) click 1 # Exit
wait_for 5 harness_ended "$START_PID" || echo "the program did not end on Exit" >&2
report
