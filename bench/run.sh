#!/usr/bin/env bash
# Measures the start menu from outside: start-up time against a bare window
# of the same toolkit, the detection timetable as a simulated X-ray unit on
# COM1 sees it, peak memory, CPU use once detection is over, and the sizes of
# the programs; the Linux program natively and the 32-bit Windows program,
# the product, under 32-bit Wine (the 64-bit build where the kernel refuses
# 32-bit code), one after the other in one run on a private Xvfb server
# without a window manager. Prints Markdown tables and keeps them in a file.
#
# Usage: bench/run.sh [--reps N] [--startups N] [--idle SECONDS] [--out FILE]
#                     [--no-build]
#   --reps N        measured runs per program (default 5)
#   --startups N    start-up samples per program and per baseline (default
#                   15; the runs beyond --reps end after detection)
#   --idle SECONDS  the idle period after detection (default 10)
#   --out FILE      where to keep the tables (default build/bench/results.md)
#   --no-build      use the programs as built (build/linux, build/win32,
#                   build/win64) instead of installing packages and building
#
# What the figures mean:
# - start-up: from just before the program is executed to the X server
#   reporting its window mapped. Under Wine a persistent wineserver runs and
#   one unmeasured run before the measured ones has started Wine's own
#   services, so neither is counted.
# - baseline: the same for the floor of such a program, a bare borderless
#   window of the start window's size with one bold label and nothing else:
#   bench/baseline_fltk.cpp natively (FLTK linked as the program links it),
#   bench/baseline_win32.cpp under Wine, built like the Windows program
#   measured. Both draw the label's font only
#   once mapped, as FLTK and Windows do, while the program measures its
#   texts before. Each start-up of the program follows one of its baseline,
#   so both see the machine alike; the ratio is the program's median over
#   the baseline's.
# - lateness: when a command reached the simulated device (the simulator
#   stamps it with CLOCK_MONOTONIC, as startbench stamps the map) minus its
#   place in the timetable counted from the window being mapped: "&" at T,
#   "0iv" at T + 200 ms, "MODE=REMOTE" at T + 400 and T + 420, "VERSION?" at
#   T + 920. The program writes "&" while the window is being shown, just
#   before the map, so that figure is slightly negative. The row "shortest
#   gap" takes the gaps that the timers and the pause make ("0iv" to the
#   first "MODE=REMOTE", 200 ms; between both, 20 ms; the second to
#   "VERSION?", 500 ms) minus their intervals: a timer that fired early
#   would make it negative. The simulator stamps a command when it reads
#   it, which a busy machine can delay by up to a millisecond, so a few
#   tenths below zero are the stamps, not the timers.
# - lateness of the update prompt: with a simulated Tarvex interface whose
#   firmware is out of date on COM1 instead, one more start of the program
#   per measured run; the prompt's map minus its place in the timetable,
#   the interface's read at T + 400. Beyond the read's lateness it takes
#   the making of the prompt's window.
# - peak resident memory: VmHWM of the program's process at the end.
# - CPU time: all threads of the process, from the scheduler, over the idle
#   period that starts 1.5 s after the map, when detection has finished.
# - sizes: the files as built (the Linux program with its debug symbols
#   stripped from the count, as installed).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/harness.sh

reps=5
startups=15
idle=10
out=build/bench/results.md
build=yes
while (($#)); do
  case $1 in
    --reps) reps=$2; shift 2 ;;
    --startups) startups=$2; shift 2 ;;
    --idle) idle=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --no-build) build=no; shift ;;
    --help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done

if [[ $build == yes ]]; then
  scripts/install-deps.sh build run windows wine
  for preset in linux win32 win64; do
    cmake --preset "$preset" >/dev/null
  done
  cmake --build --preset linux -j "$(nproc)" --target start devsim startbench baseline_fltk
  cmake --build --preset win32 -j "$(nproc)" --target start baseline_win32
  cmake --build --preset win64 -j "$(nproc)" --target start baseline_win32
fi
wine=yes
harness_windows_build "$PWD" || wine=no
for program in build/linux/start build/linux/devsim build/linux/startbench \
  build/linux/baseline_fltk build/win32/start.exe build/win64/start.exe \
  ${HARNESS_WINBUILD:+"$HARNESS_WINBUILD/baseline_win32.exe"}; do
  [[ -f $program ]] || { echo "$program is missing; run without --no-build" >&2; exit 1; }
done

WORK=$(mktemp -d /tmp/startbench.XXXXXX)
cleanup() {
  harness_cleanup
  rm -rf "$WORK"
}
trap cleanup EXIT

harness_xvfb || exit 1

# One CD per target, with a start.ins whose minimum versions the simulated
# unit meets, so that no prompt interrupts the timetable.
ins=$'[CDStart]\r\nCDVersion=2.1\r\nVXVersion=1.0\r\nRTGVersion=1.0\r\n'
mkdir -p "$WORK/native" "$WORK/wine" "$WORK/config"
cp build/linux/start "$WORK/native/start"
strip "$WORK/native/start"
cp build/linux/baseline_fltk "$WORK/native/baseline"
strip "$WORK/native/baseline"
if [[ $wine == yes ]]; then
  cp "$HARNESS_WINBUILD/start.exe" "$WORK/wine/start.exe"
  cp "$HARNESS_WINBUILD/baseline_win32.exe" "$WORK/wine/baseline.exe"
fi
printf '%s' "$ins" >"$WORK/native/start.ins"
printf '%s' "$ins" >"$WORK/wine/start.ins"

# The Linux program opens COM1 as the simulator's link; COM2..COM4 are absent.
export ORBILEX_COM1="$WORK/com1" ORBILEX_COM2="$WORK/absent" ORBILEX_COM3="$WORK/absent" \
  ORBILEX_COM4="$WORK/absent" XDG_CONFIG_HOME="$WORK/config" LANG=C.UTF-8 LC_ALL=C.UTF-8

targets=(--native "$WORK/native" --native-baseline "$WORK/native/baseline")
if [[ $wine == yes ]]; then
  echo "Preparing a Wine prefix (about 10 s)"
  # COM1 leads to the simulator's link, COM2..COM4 to nothing.
  harness_wine_prefix "$WORK/prefix" --port 1="$WORK/com1" --server || exit 1
  targets+=(--wine "$WORK/wine" --wine-baseline baseline.exe --wine-loader "$HARNESS_WINLOADER")
else
  echo "Wine cannot run here: measuring the Linux program only" >&2
fi

build/linux/startbench --devsim build/linux/devsim --link "$WORK/com1" --work "$WORK" \
  --reps "$reps" --startups "$startups" --idle "$idle" "${targets[@]}" \
  --size "start.exe, i686 (the product)=build/win32/start.exe" \
  --size "start.exe, x86_64=build/win64/start.exe" \
  --size "start, Linux x86_64, stripped=$WORK/native/start" >"$WORK/results.md"
mkdir -p "$(dirname "$out")"
cp "$WORK/results.md" "$out"
cat "$out"
echo
echo "Saved in $out"
