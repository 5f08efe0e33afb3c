#!/usr/bin/env bash
# Drives the real Windows program (the x86_64 build) under Wine on a private
# X server: the start window's size, place, title and pixels; both update
# prompts brought up by simulated devices on COM1 and COM2 (which also
# checks the line speeds the Win32 layer sets); the keyboard and close box
# of a prompt; the language switch; and the Exit entry.
#
# Needs build/win64/start.exe (cmake --preset win64 && cmake --build
# --preset win64), wine64, Xvfb, openbox, xdotool, x11-utils and
# imagemagick; exits 77 (skipped) when something is missing.
set -uo pipefail

skip() {
  echo "SKIP: $*"
  exit 77
}
fail() {
  echo "FAIL: $*"
  exit 1
}

EXE="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}/build/win64/start.exe"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
[[ -f "$EXE" ]] || skip "no Windows build at $EXE (cmake --preset win64 && cmake --build --preset win64)"
[[ -x "$WINE" && -x "$WINESERVER" ]] || skip "wine64 is not installed"
[[ -n "${DEVSIM:-}" && -x "${DEVSIM:-}" ]] || skip "no device simulator (DEVSIM)"
for tool in Xvfb openbox xdotool xwininfo xdpyinfo import convert; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

WORK=$(mktemp -d /tmp/wine-smoke.XXXXXX)
PIDS=()
cleanup() {
  # Ends the server of this prefix and every Wine process of it.
  [[ -d "$WINEPREFIX" ]] && "$WINESERVER" -k 2>/dev/null
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8

# Polls `condition` (a command) every 0.1 s for at most `seconds`.
wait_for() {
  local seconds=$1
  shift
  local tries=$((seconds * 10))
  while ((tries-- > 0)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# ---------------------------------------------------------------- devices
# The interface on COM1 and the X-ray unit on COM2, both with out-of-date
# firmware, answering only at their own line speed. COM3 and COM4 lead
# nowhere.
"$DEVSIM" --kind interface --version 0.5 --baud-check --log "$WORK/com1.log" \
  --pty-link "$WORK/com1" >"$WORK/com1.out" 2>&1 &
PIDS+=($!)
"$DEVSIM" --kind xray --version 0.5 --baud-check --log "$WORK/com2.log" \
  --pty-link "$WORK/com2" >"$WORK/com2.out" 2>&1 &
PIDS+=($!)
wait_for 5 test -e "$WORK/com1" -a -e "$WORK/com2" || fail "device simulators did not start"

# ------------------------------------------------------------------ prefix
"$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1 </dev/null
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
for port in 1 2 3 4; do
  device="$WORK/com$port"
  ((port > 2)) && device="$WORK/absent$port"
  "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$(readlink -f "$device" || echo "$device")" /f \
    >/dev/null 2>&1 </dev/null || fail "could not map COM$port"
done
# The port mapping is read when the server starts.
"$WINESERVER" -k
"$WINESERVER" -w
"$WINESERVER" -p -f >/dev/null 2>&1 &
PIDS+=($!)

# -------------------------------------------------------------- X display
display=""
for n in $(seq 90 130); do
  if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then
    display=":$n"
    break
  fi
done
[[ -n "$display" ]] || skip "no free X display number"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
export DISPLAY="$display"
wait_for 10 xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
PIDS+=($!)
xdotool mousemove 5 5

# ---------------------------------------------------------------- program
mkdir "$WORK/cd"
cp "$EXE" "$WORK/cd/start.exe"
printf '[CDStart]\r\nCDVersion=3.1\r\nVXVersion=1.0\r\nRTGVersion=1.0\r\n' >"$WORK/cd/start.ins"
(cd "$WORK/cd" && exec "$WINE" start.exe >"$WORK/start.log" 2>&1 </dev/null) &
START_PID=$!
PIDS+=($START_PID)

find_window() {  # name pattern → first visible window id
  xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1
}
geometry() {  # window → "left top width height"
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^  Width/ {w=$NF} /^  Height/ {h=$NF} END {print x, y, w, h}'
}
pixel() {  # x y → "r,g,b" of the screen
  import -window root -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
    sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1,\2,\3/p'
}
near() { (($1 - $2 <= 1 && $2 - $1 <= 1)); }

# The start window: its text is the application title (from start.ins),
# 459 x 280, centred on the 1024 x 768 screen.
has_main() { [[ -n "$(find_window '^orbilex CD V3\.1$')" ]]; }
wait_for 30 has_main || fail "no start window titled 'orbilex CD V3.1'"
MAIN=$(find_window '^orbilex CD V3\.1$')
read -r left top width height <<<"$(geometry "$MAIN")"
[[ "$width x $height" == "459 x 280" ]] || fail "start window is $width x $height, not 459 x 280"
near "$left" $(((1024 - 459) / 2)) && near "$top" $(((768 - 280) / 2)) ||
  fail "start window at $left,$top is not centred"

# The interface prompt: it comes only if COM1 was opened, set to 115200
# baud and read. It is a separate window of 377 x 152 client pixels.
other_window() {
  local w
  for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    [[ "$w" != "$MAIN" ]] && xwininfo -id "$w" | grep -q 'Map State: IsViewable' &&
      [[ "$(xwininfo -id "$w" | awk '/^  Width/ {print $NF}')" != 1024 ]] && echo "$w" && return 0
  done
  return 1
}
wait_for 15 other_window >/dev/null || fail "no interface prompt (COM1 log: $(tr '\n' ' ' <"$WORK/com1.log"))"
PROMPT=$(other_window)
grep -q $'0iv\\\\r\t115200' "$WORK/com1.log" || fail "the interface query did not arrive at 115200 baud"
read -r _ _ width height <<<"$(geometry "$PROMPT")"
[[ "$width x $height" == "377 x 152" ]] || fail "prompt client area is $width x $height, not 377 x 152"

# Pixels of the start window: the frame of Shape1 at its bottom-right
# corner is black, an empty spot right of the entries is white, and the
# side strip bitmap is drawn (not white).
[[ "$(pixel $((left + 458)) $((top + 279)))" == "0,0,0" ]] || fail "no black frame at the window's edge"
[[ "$(pixel $((left + 400)) $((top + 100)))" == "255,255,255" ]] || fail "background is not white"
[[ "$(pixel $((left + 30)) $((top + 150)))" != "255,255,255" ]] || fail "the side strip is not drawn"

# Keyboard in the prompt: Tab moves the focus to the second button and
# Space presses it, which closes the prompt without starting an updater.
xdotool windowactivate --sync "$PROMPT" 2>/dev/null
xdotool key Tab space
wait_for 5 sh -c "! xwininfo -id $PROMPT | grep -q IsViewable" || fail "Tab, Space did not close the prompt"
kill -0 "$START_PID" 2>/dev/null || fail "the program ended after the prompt's second button"

# The X-ray prompt follows: COM2 reopened at 9600 baud and queried.
wait_for 15 other_window >/dev/null || fail "no X-ray prompt (COM2 log: $(tr '\n' ' ' <"$WORK/com2.log"))"
grep -q $'VERSION?\\\\r\t9600' "$WORK/com2.log" || fail "the X-ray query did not arrive at 9600 baud"
PROMPT=$(other_window)
# Its close box (through the window manager) closes it like the second
# button.
xdotool windowactivate --sync "$PROMPT" 2>/dev/null
xdotool key alt+F4
wait_for 5 sh -c "! xwininfo -id $PROMPT | grep -q IsViewable" || fail "Alt+F4 did not close the prompt"
kill -0 "$START_PID" 2>/dev/null || fail "the program ended when the prompt was closed"

# The language label switches every text: its own pixels change.
shot() { import -window root -crop "52x13+$((left + 108))+$((top + 262))" +repage "$1" 2>/dev/null; }
shot "$WORK/before.png"
xdotool mousemove --sync $((left + 120)) $((top + 268)) click 1
changed() {
  shot "$WORK/after.png"
  [[ "$(compare -metric AE "$WORK/before.png" "$WORK/after.png" null: 2>&1)" != 0 ]]
}
wait_for 5 changed || fail "a click on the language label changed nothing"

# Exit ends the program.
xdotool mousemove --sync $((left + 110)) $((top + 222)) click 1
wait_for 10 sh -c "! kill -0 $START_PID 2>/dev/null" || fail "Exit did not end the program"
echo "PASS"
