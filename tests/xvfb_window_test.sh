#!/usr/bin/env bash
# Drives the real Linux program on a private X server, on a copy of the sample
# CD, with simulated devices on pseudo-terminals (never the machine's ports),
# after checking that it needs no FLTK or C++ runtime library beside it:
#  1. Devices up to date, German, no window manager but a panel: the start
#     window is mapped borderless, 459x280, centred on the whole screen,
#     titled after start.ins, with the program's icon; its pixels (frame, white ground, side strip, hover
#     arrow); the detection commands reach both simulators in the
#     timetable's order at their line speeds, none before its time by the
#     program's own trace, and no prompt appears; double clicks on the flag
#     last 400 ms; a click on "Beenden" ends the program.
#  2. An out-of-date interface, English, no window manager, a high-contrast
#     desktop (white on black): the prompt is mapped 377x152 and centred,
#     in the desktop's colours, the texts of both windows readable (contrast
#     at least 4.5:1), and the prompt takes the keys by itself; Escape does
#     nothing, Tab and Return choose "Continue", the program goes on, and
#     Alt+F4 (which only the program can handle here) ends it.
#  3. The same under openbox, with a desktop resolution of 144 dpi: the
#     start window stays undecorated, is scaled to 689x420, centred and
#     in the task bar, the prompt is scaled to 566x228 and transient for
#     it, and a click on
#     the prompt's update button starts the interface's updater on the CD,
#     in its folder, and ends the program. Under fluxbox, which honours the
#     prompt's hints, it can be moved and closed but not minimised,
#     maximised, resized or made full-screen; with a settings manager, its
#     double-click time counts.
#  4. At 192 dpi the start window is shown twice as large, 918x560, centred,
#     its frame two pixels wide, and a click where "Beenden" is drawn ends
#     the program.
#  5. With only DejaVu, DejaVu and the Wine font, or only Liberation, every
#     text of both languages fits its box in each font the start window
#     draws, as the trace reports it, and faces with the layout's metrics
#     keep their sizes.
# Screenshots go to $BUILD_DIR/screenshots/. Exits 77 (skipped) when a tool
# is missing, except under CI, where that fails.
set -uo pipefail
SOURCE_DIR=${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}
source "$SOURCE_DIR/scripts/harness.sh"

show_start_log() { [[ -f "${WORK:-}/start.log" ]] && sed 's/^/  start: /' "$WORK/start.log"; }
HARNESS_ON_FAIL=show_start_log

[[ -x "${START_BIN:-}" ]] || harness_skip "no Linux program (START_BIN)"
[[ -x "${DEVSIM:-}" ]] || harness_skip "no device simulator (DEVSIM)"
for tool in Xvfb xdotool xwininfo xprop import; do
  command -v "$tool" >/dev/null || harness_skip "$tool is not installed"
done
DEJAVU=/usr/share/fonts/truetype/dejavu
LIBERATION=/usr/share/fonts/truetype/liberation
for folder in "$DEJAVU" "$LIBERATION"; do [[ -d $folder ]] || harness_skip "no fonts in $folder"; done

# The program brings FLTK and the C++ runtime along (sanitizer builds
# excepted), so a machine without them runs it from the CD.
libs=$(ldd "$START_BIN")
if ! grep -q libasan <<<"$libs"; then
  needed=$(awk '{print $1}' <<<"$libs" | grep -E '^lib(fltk|stdc\+\+)' | tr '\n' ' ')
  [[ -z "$needed" ]] || harness_fail "the program needs ${needed}at run time"
fi

WORK=$(mktemp -d /tmp/xvfb-window.XXXXXX)
SHOTS="${BUILD_DIR:-$WORK}/screenshots"
mkdir -p "$SHOTS"
cleanup() {
  harness_cleanup
  rm -rf "$WORK"
}
trap cleanup EXIT

# Sets X, Y, W, H to the client area of window $1 on the screen.
geometry() { read -r X Y W H <<<"$(harness_geometry "$1")"; }

# A digest of the language flag's pixels in the start window at $left,$top;
# whether it is (not) $1.
flag() { import -window root -crop "26x13+$((left + 77))+$((top + 262))" +repage -depth 8 rgb:- | md5sum; }
flag_is() { [[ "$(flag)" == "$1" ]]; }
flag_is_not() { [[ "$(flag)" != "$1" ]]; }

# Whether the pixel where the arrow beside "Update Tarvex" is drawn, in the
# start window at $left,$top, is "r,g,b" $1: black while the mouse is over
# that entry, white once it has left the entries.
arrow_is() { [[ "$(harness_pixel $((left + 86)) $((top + 115)))" == "$1" ]]; }

# Starts the program from a fresh copy of the sample CD with its ports on
# the paths COM1..COM4 of $WORK ($1 = locale); sets START_PID.
start_program() {
  rm -rf "$WORK/cd"
  cp -r "$SOURCE_DIR/example" "$WORK/cd"
  cp "$START_BIN" "$WORK/cd/start"
  printf '[CDStart]\r\nCDVersion=4.2\r\nVXVersion=2.0\r\nRTGVersion=1.1\r\n' >"$WORK/cd/start.ins"
  XDG_CONFIG_HOME="$WORK/config" LANG="$1" LC_ALL= LC_MESSAGES= START_EXAMPLE_LOG="$WORK/launched.log" \
    ORBILEX_COM1="$WORK/com1" ORBILEX_COM2="$WORK/com2" ORBILEX_COM3="$WORK/com3" \
    ORBILEX_COM4="$WORK/com4" "$WORK/cd/start" >"$WORK/start.log" 2>&1 &
  START_PID=$!
  harness_track "$START_PID"
}

# Starts a simulated device: $1 = port name (com1..com4), then devsim options.
device() {
  local port=$1
  shift
  rm -f "$WORK/$port.log"
  harness_devsim "$DEVSIM" "$WORK/$port" "$@" --log "$WORK/$port.log" ||
    harness_fail "the simulator on $port did not start"
  DEVICES+=("${HARNESS_PIDS[-1]}")
}

DEVICES=()
stop_devices() {
  harness_stop "${DEVICES[@]}"
  DEVICES=()
}

# Checks that window $1 is mapped at $2 x $3 client pixels, centred.
check_centred() {
  geometry "$1"
  [[ "$W" == "$2" && "$H" == "$3" ]] || harness_fail "window is ${W}x$H, not $2x$3"
  ((X == (1024 - $2) / 2 && Y == (768 - $3) / 2)) || harness_fail "the ${2}x$3 window at $X,$Y is not centred"
}

# The server never resets, so the root window's properties set below
# outlive the runs.
harness_xvfb || harness_fail "Xvfb did not start"
XVFB_PID=${HARNESS_PIDS[-1]}
# A panel along the top takes 48 pixels of the work area; the windows are
# still centred on the whole screen.
xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA 0,48,1024,720

# ------------------------------------------- 1. up to date, German, no WM
device com1 --kind interface --version 2.0
device com3 --kind xray --version 1.1
START_TRACE="$WORK/trace.log" start_program de_DE.UTF-8
TITLE='^orbilex CD V4\.2$'
wait_for 10 harness_visible "$TITLE" || harness_fail "the start window did not appear"
MAIN=$(harness_window "$TITLE")
check_centred "$MAIN" 459 280
left=$X top=$Y
xprop -id "$MAIN" _NET_WM_ICON | grep -q 'Icon (32 x 32)' || harness_fail "the window has no 32x32 icon"
[[ "$(harness_pixel "$left" "$top")" == "0,0,0" ]] || harness_fail "no black frame at the top-left corner"
[[ "$(harness_pixel $((left + 458)) $((top + 279)))" == "0,0,0" ]] ||
  harness_fail "no black frame at the bottom-right corner"
[[ "$(harness_pixel $((left + 400)) $((top + 100)))" == "255,255,255" ]] || harness_fail "the background is not white"
IFS=, read -r r g b <<<"$(harness_pixel $((left + 30)) $((top + 150)))"
((b > r + 40)) || harness_fail "the side strip is not drawn in blue tones ($r,$g,$b)"
# The arrow is hidden at show and appears one pixel below the entry's top.
arrow=$(harness_pixel $((left + 86)) $((top + 109 + 6)))
[[ "$arrow" == "255,255,255" ]] || harness_fail "the arrow is shown before the mouse moved ($arrow)"
xdotool mousemove --window "$MAIN" 150 112
wait_for 3 arrow_is 0,0,0 || harness_fail "no arrow beside 'Update Tarvex' under the mouse"
xdotool mousemove --window "$MAIN" 400 100
wait_for 3 arrow_is 255,255,255 || harness_fail "the arrow stayed when the mouse reached the background"

# The sequence is over about 1.14 s after the window is shown.
wait_for 10 grep -q 'VERSION?' "$WORK/com3.log" || harness_fail "no version query reached the X-ray unit"
wait_for 5 bash -c "tail -1 $WORK/com3.log | grep -q close" || harness_fail "the X-ray unit's port was left open"
import -window root "$SHOTS/linux-start-de.png" 2>/dev/null
german=$(flag)

# The commands that reached the device on port $1, each with the line speed
# it came at, on one line.
commands() { awk -F'\t' 'NF >= 3 {printf "%s %s, ", $2, $3}' "$WORK/$1.log"; }
[[ $(commands com1) == '&\r 115200, 0iv\r 115200, ' ]] || harness_fail "the interface got: $(commands com1)"
[[ $(commands com3) == '&\r 115200, 0iv\r 115200, MODE=REMOTE\r 9600, MODE=REMOTE\r 9600, VERSION?\r 9600, ' ]] ||
  harness_fail "the X-ray unit got: $(commands com3)"
harness_visible 'Veraltete|Out-of-date' && harness_fail "a prompt appeared for up-to-date devices"

# No command comes before its time. The program's trace stamps each write
# once it is done, before the timer or the pause that leads to the next is
# begun, so a busy machine can only make a gap longer; the stamps are whole
# milliseconds, so a gap may read one less than it was. The exact timetable is tested on a virtual
# clock in tests/core_detection_test.cpp; how late the real programs are
# against it, bench/run.sh measures.
mapfile -t writes < <(sed -n 's/^ *\([0-9]*\) ms  port COM3 write "\([^"]*\)".*/\1 \2/p' "$WORK/trace.log")
expected=('&\r' '0iv\r' 'MODE=REMOTE\r' 'MODE=REMOTE\r' 'VERSION?\r')
offsets=(0 200 400 420 920)
[[ ${#writes[@]} == "${#expected[@]}" ]] || harness_fail "the trace holds these writes to COM3: ${writes[*]}"
for i in "${!expected[@]}"; do
  read -r at[i] command <<<"${writes[i]}"
  [[ $command == "${expected[i]}" ]] || harness_fail "write $i to COM3 was $command, not ${expected[i]}"
  ((i == 0)) && continue
  interval=$((offsets[i] - offsets[i - 1]))
  ((at[i] - at[i - 1] >= interval - 1)) ||
    harness_fail "${expected[i]} was written $((at[i] - at[i - 1])) ms after ${expected[i - 1]}," \
      "before its $interval ms"
done

# Two presses within the double-click time, 400 ms without a settings
# manager, are one double click, which switches the language once; a press
# 0.7 s after another is a click of its own. The gaps are xdotool's sleeps,
# which a busy machine can only stretch: 0.7 s stays outside the time, and
# quick presses 50 ms apart stay well inside it.
xdotool mousemove --window "$MAIN" 85 268 click 1
wait_for 3 flag_is_not "$german" || harness_fail "a click on the flag did not switch the language"
xdotool sleep 0.7 click 1
wait_for 3 flag_is "$german" || harness_fail "a click 0.7 s after another did not switch the language back"
# Four quick presses are two double clicks (a third press starts a new
# click): two more switches, and the flag is German again. Once the arrow
# shows beside the entry that the mouse moves to next, the program has
# handled every press before.
xdotool sleep 1.2 click --repeat 4 --delay 50 1 mousemove --window "$MAIN" 150 112
wait_for 3 arrow_is 0,0,0 || harness_fail "no arrow beside 'Update Tarvex' after the clicks on the flag"
switches=$(grep -c 'switched by the user' "$WORK/trace.log")
((switches == 4)) && flag_is "$german" ||
  harness_fail "four quick clicks after two single ones switched the language $((switches - 2)) times," \
    "not twice"

xdotool mousemove --window "$MAIN" 110 222 click 1
wait_for 5 harness_ended "$START_PID" || harness_fail "Beenden did not end the program"
stop_devices

# ------------------------- 2. out-of-date interface, English, keys, no WM
PROMPT='^Out-of-date Tarvex version detected$'
# A high-contrast desktop: white texts on black windows.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER $'*foreground:\twhite\n*background:\tblack\n'
device com2 --kind interface --version 1.0
start_program C.UTF-8
wait_for 10 harness_visible "$PROMPT" || harness_fail "no prompt for the out-of-date interface"
DIALOG=$(harness_window "$PROMPT")
check_centred "$DIALOG" 377 152
[[ "$(harness_pixel $((X + 370)) $((Y + 5)))" == "0,0,0" ]] ||
  harness_fail "the prompt is not drawn on the desktop's black"
# The prompt's first text, and the start window's version label below it.
for area in "$((X + 16)) $((Y + 12)) 345 29" "$((X + 348 - 41)) $((Y + 262 - 64)) 103 13"; do
  ratio=$(harness_contrast $area)
  awk -v r="$ratio" 'BEGIN {exit !(r >= 4.5)}' || harness_fail "text at $area has a contrast of $ratio:1"
done
import -window root "$SHOTS/linux-prompt-en.png" 2>/dev/null
# Off every window, so the keys reach the prompt only if it took the focus.
xdotool mousemove 5 5
xdotool key Escape
sleep 0.3
harness_visible "$PROMPT" || harness_fail "Escape closed the prompt"
xdotool key Tab Return
wait_for 5 eval '! harness_visible "$PROMPT"' ||
  harness_fail "Tab and Return did not close the prompt"
sleep 0.3
harness_ended "$START_PID" && harness_fail "choosing Continue ended the program"
[[ -s "$WORK/launched.log" ]] && harness_fail "choosing Continue started $(cat "$WORK/launched.log")"
xdotool key alt+F4
wait_for 5 harness_ended "$START_PID" || harness_fail "Alt+F4 did not end the program"
stop_devices

# ------------------------------- 3. under a window manager, update chosen
if command -v openbox >/dev/null; then
  harness_openbox || harness_fail "openbox did not start"
  OPENBOX_PID=${HARNESS_PIDS[-1]}
  # The desktop's font resolution, as desktops set it for scaling: the
  # prompt is laid out for it, the start window scaled by it.
  xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER $'Xft.dpi:\t144\n'
  device com2 --kind interface --version 1.0
  start_program C.UTF-8
  wait_for 10 harness_visible "$PROMPT" || harness_fail "no prompt under the window manager"
  DIALOG=$(harness_window "$PROMPT")
  MAIN=$(harness_window "$TITLE")
  check_centred "$MAIN" 689 420
  geometry "$DIALOG"
  [[ "$W x $H" == "566 x 228" ]] || harness_fail "the prompt is ${W}x$H at 144 dpi, not 566x228"
  xprop -id "$MAIN" _NET_WM_STATE | grep -q SKIP_TASKBAR &&
    harness_fail "the start window is kept out of the task bar"
  xprop -id "$DIALOG" WM_TRANSIENT_FOR | grep -q "window id" || harness_fail "the prompt is not transient"
  import -window root "$SHOTS/linux-prompt-openbox.png" 2>/dev/null
  xdotool mousemove --window "$DIALOG" 165 199 click 1
  wait_for 5 harness_ended "$START_PID" || harness_fail "a click on the update button did not end the program"
  grep -q "Update/Tarvex/VXupdate.exe started in $WORK/cd/Update/Tarvex" "$WORK/launched.log" ||
    harness_fail "the interface updater was not started in its folder: $(cat "$WORK/launched.log" 2>&1)"
  stop_devices
  harness_stop "$OPENBOX_PID"
else
  echo "openbox is not installed: the run under a window manager is left out"
fi

# ------- 3b. under fluxbox, with a settings manager: the prompt's actions
# The prompt can be moved and closed, but not minimised, maximised, resized
# or made full-screen, and has no task-bar entry; the double-click time is
# the settings manager's.
if command -v fluxbox >/dev/null && command -v xsettingsd >/dev/null; then
  xprop -root -remove _NET_SUPPORTING_WM_CHECK
  xprop -root -remove RESOURCE_MANAGER
  harness_fluxbox || harness_fail "fluxbox did not start"
  printf 'Net/DoubleClickTime 1500\n' >"$WORK/xsettings"
  xsettingsd -c "$WORK/xsettings" >/dev/null 2>&1 &
  harness_track $!
  device com2 --kind interface --version 1.0
  start_program C.UTF-8
  wait_for 10 harness_visible "$PROMPT" || harness_fail "no prompt under fluxbox"
  DIALOG=$(harness_window "$PROMPT")
  actions=$(xprop -id "$DIALOG" _NET_WM_ALLOWED_ACTIONS)
  [[ $actions == *_NET_WM_ACTION_CLOSE* && $actions == *_NET_WM_ACTION_MOVE* ]] ||
    harness_fail "fluxbox does not offer to move and close the prompt: $actions"
  [[ $actions =~ MINIMIZE|MAXIMIZE|RESIZE|FULLSCREEN ]] && harness_fail "the prompt offers $actions"
  xprop -id "$DIALOG" _NET_WM_WINDOW_TYPE | grep -q '= _NET_WM_WINDOW_TYPE_DIALOG$' ||
    harness_fail "the prompt is not a dialog"
  xprop -id "$DIALOG" _NET_WM_STATE | grep -q SKIP_TASKBAR || harness_fail "the prompt has a task-bar entry"
  xdotool mousemove --window "$DIALOG" 261 132 click 1
  wait_for 5 eval '! harness_visible "$PROMPT"' ||
    harness_fail "Continue did not close the prompt under fluxbox"
  MAIN=$(harness_window "$TITLE")
  geometry "$MAIN"
  left=$X top=$Y
  english=$(flag)
  # Off the entries first, so that the arrow shows only once the mouse
  # comes back to one; then two presses 0.7 s apart, well outside the
  # default 400 ms and well inside the 1500 ms set here, and the mouse to
  # an entry: once the arrow shows, both presses have been handled.
  xdotool mousemove --window "$MAIN" 400 100
  wait_for 3 arrow_is 255,255,255 || harness_fail "the arrow stayed when the mouse reached the background"
  xdotool mousemove --window "$MAIN" 85 268 click 1 sleep 0.7 click 1 mousemove --window "$MAIN" 150 112
  wait_for 3 arrow_is 0,0,0 || harness_fail "no arrow beside 'Update Tarvex' after the clicks on the flag"
  flag_is_not "$english" || harness_fail "two clicks 0.7 s apart were not one double click with 1500 ms"
  harness_stop "$START_PID"
  stop_devices
else
  echo "fluxbox or xsettingsd is not installed: the prompt's actions are left out"
fi

# ------------------------------------------ 4. 200 %: the start window doubled
# Each pixel becomes a 2x2 block; the mouse still hits the entries where
# they are drawn.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER $'Xft.dpi:\t192\n'
start_program de_DE.UTF-8
wait_for 10 harness_visible "$TITLE" || harness_fail "no start window at 192 dpi"
MAIN=$(harness_window "$TITLE")
check_centred "$MAIN" 918 560
[[ "$(harness_pixel $((X + 916)) $((Y + 558)))" == "0,0,0" ]] ||
  harness_fail "the frame is not two pixels wide at 192 dpi"
import -window root -crop "918x560+$X+$Y" +repage "$SHOTS/linux-start-200.png" 2>/dev/null
xdotool mousemove --window "$MAIN" 220 444 click 1
wait_for 5 harness_ended "$START_PID" || harness_fail "a click on Beenden at 192 dpi did not end the program"

# ------------------------- 5. texts fit with every face that can stand in
# A fontconfig configuration of its own for each case: one family's folder
# and the system's rules. The program adds the Wine font itself; a rule
# renames it where a case goes without it, and names Liberation Sans in its
# place where the program would ask for Liberation Sans instead. The trace
# reports each font when it is first drawn, with the text of either
# language that fills its room most.
xprop -root -remove RESOURCE_MANAGER
hide_wine='<match target="scan"><test name="family"><string>MS Sans Serif</string></test>
  <edit name="family" mode="assign"><string>hidden</string></edit></match>'
fallback='<alias><family>MS Sans Serif</family><prefer><family>Liberation Sans</family></prefer></alias>'
# $1 = the font folder, $2 = further rules, $3 and $4 = what the trace names
# for bold "Arial" and for "MS Sans Serif": the face, " at ", and the size
# where it must keep it.
fonts_case() {
  printf '<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n<fontconfig>
    <dir>%s</dir><cachedir>%s</cachedir><include>/etc/fonts/conf.d</include>%s</fontconfig>\n' \
    "$1" "$WORK/fontconfig" "$2" >"$WORK/fonts.conf"
  rm -f "$WORK/trace.log"
  FONTCONFIG_FILE="$WORK/fonts.conf" START_TRACE="$WORK/trace.log" start_program de_DE.UTF-8
  wait_for 10 bash -c "[[ \$(grep -c ' font ' '$WORK/trace.log' 2>/dev/null) == 2 ]]" ||
    harness_fail "no two fonts traced with $1: $(grep ' font ' "$WORK/trace.log")"
  harness_stop "$START_PID"
  local line
  while read -r line; do
    [[ $line =~ fills\ ([0-9]+)\ x\ ([0-9]+)\ of\ ([0-9]+)\ x\ ([0-9]+)$ ]] ||
      harness_fail "no text reported: $line"
    ((BASH_REMATCH[1] <= BASH_REMATCH[3] && BASH_REMATCH[2] <= BASH_REMATCH[4])) ||
      harness_fail "a text does not fit its box: $line"
  done < <(grep ' font ' "$WORK/trace.log")
  grep -q " font Arial bold 12 px: $3" "$WORK/trace.log" ||
    harness_fail "not $3: $(grep ' font ' "$WORK/trace.log")"
  grep -q " font MS Sans Serif 11 px: $4" "$WORK/trace.log" ||
    harness_fail "not $4: $(grep ' font ' "$WORK/trace.log")"
}
fonts_case "$DEJAVU" "$hide_wine" "DejaVu Sans Bold at " "DejaVu Sans Book at "
fonts_case "$DEJAVU" "" "DejaVu Sans Bold at " "MS Sans Serif Medium at 11 px"
fonts_case "$LIBERATION" "$hide_wine$fallback" "Liberation Sans Bold at 12 px" \
  "Liberation Sans Regular at 11 px"

# ------------- 6. closed standard descriptors; the X server going away
# Descriptors 0 to 2 left closed by the caller are taken by /dev/null, not
# by a serial port; when the X server goes away, the program ends with one
# line and status 1.
ORBILEX_COM1="$WORK/com1" ORBILEX_COM2="$WORK/com2" ORBILEX_COM3="$WORK/com3" \
  ORBILEX_COM4="$WORK/com4" "$WORK/cd/start" <&- >&- 2>&- &
CLOSED_PID=$!
harness_track "$CLOSED_PID"
wait_for 10 harness_visible "$TITLE" || harness_fail "no window with the standard descriptors closed"
for fd in 0 1 2; do
  [[ $(readlink "/proc/$CLOSED_PID/fd/$fd") == /dev/null ]] ||
    harness_fail "descriptor $fd is $(readlink "/proc/$CLOSED_PID/fd/$fd"), not /dev/null"
done
harness_stop "$CLOSED_PID"
start_program C.UTF-8
wait_for 10 harness_visible "$TITLE" || harness_fail "no window before the X server goes"
harness_stop "$XVFB_PID"
wait "$START_PID"
status=$?
[[ $status == 1 ]] || harness_fail "the program ended with status $status when the X server went"
[[ $(cat "$WORK/start.log") == "start: the connection to the X server was lost" ]] ||
  harness_fail "the program said: $(cat "$WORK/start.log")"
echo "PASS"
