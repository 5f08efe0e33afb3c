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

TARGET=wine
source "$(dirname "$0")/e2e_lib.sh"

e2e_target_check
e2e_init
e2e_start_display
e2e_target_setup

# The interface on COM1 and the X-ray unit on COM2, both with out-of-date
# firmware, answering only at their own line speed. COM3 and COM4 lead
# nowhere.
e2e_device 1 interface 0.5
e2e_device 2 xray 0.5
e2e_target_ini ""
e2e_make_cd $'[CDStart]\nCDVersion=3.1\nVXVersion=1.0\nRTGVersion=1.0\n'
e2e_start C.UTF-8

# "r,g,b" of the screen pixel at $1,$2.
pixel() {
  import -window root -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
    sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1,\2,\3/p'
}
near() { (($1 - $2 <= 1 && $2 - $1 <= 1)); }
prompt_closed() { ! e2e_window_viewable "$PROMPT"; }
# Waits for the prompt, a viewable window besides the start window; sets
# PROMPT.
has_prompt() { [[ -n "$(e2e_other_windows "$MAIN")" ]]; }
wait_prompt() {
  wait_for 15 has_prompt || return 1
  PROMPT=$(e2e_other_windows "$MAIN" | head -1)
}

# The start window: its text is the application title (from start.ins),
# 459 x 280, centred on the 1024 x 768 screen.
MAIN=$(e2e_wait_window 30 '^orbilex CD V3\.1$') || e2e_fail "no start window titled 'orbilex CD V3.1'"
read -r left top width height <<<"$(e2e_geometry "$MAIN")"
[[ "$width x $height" == "459 x 280" ]] || e2e_fail "start window is $width x $height, not 459 x 280"
near "$left" $(((1024 - 459) / 2)) && near "$top" $(((768 - 280) / 2)) ||
  e2e_fail "start window at $left,$top is not centred"

# The interface prompt: it comes only if COM1 was opened, set to 115200
# baud and read. It is a separate window of 377 x 152 client pixels.
wait_prompt || e2e_fail "no interface prompt (COM1 log: $(tr '\n' ' ' <"$E2E_WORK/com1.log"))"
grep -q $'0iv\\\\r\t115200' "$E2E_WORK/com1.log" ||
  e2e_fail "the interface query did not arrive at 115200 baud"
read -r _ _ width height <<<"$(e2e_geometry "$PROMPT")"
[[ "$width x $height" == "377 x 152" ]] || e2e_fail "prompt client area is $width x $height, not 377 x 152"

# Pixels of the start window: the frame of Shape1 at its bottom-right
# corner is black, an empty spot right of the entries is white, and the
# side strip bitmap is drawn (not white).
[[ "$(pixel $((left + 458)) $((top + 279)))" == "0,0,0" ]] || e2e_fail "no black frame at the window's edge"
[[ "$(pixel $((left + 400)) $((top + 100)))" == "255,255,255" ]] || e2e_fail "background is not white"
[[ "$(pixel $((left + 30)) $((top + 150)))" != "255,255,255" ]] || e2e_fail "the side strip is not drawn"

# Keyboard in the prompt: Tab moves the focus to the second button and
# Space presses it, which closes the prompt without starting an updater.
xdotool windowactivate --sync "$PROMPT" 2>/dev/null
xdotool key Tab space
wait_for 5 prompt_closed || e2e_fail "Tab, Space did not close the prompt"
harness_ended "$START_PID" && e2e_fail "the program ended after the prompt's second button"

# The X-ray prompt follows: COM2 reopened at 9600 baud and queried.
wait_prompt || e2e_fail "no X-ray prompt (COM2 log: $(tr '\n' ' ' <"$E2E_WORK/com2.log"))"
grep -q $'VERSION?\\\\r\t9600' "$E2E_WORK/com2.log" ||
  e2e_fail "the X-ray query did not arrive at 9600 baud"
# Its close box (through the window manager) closes it like the second
# button.
xdotool windowactivate --sync "$PROMPT" 2>/dev/null
xdotool key alt+F4
wait_for 5 prompt_closed || e2e_fail "Alt+F4 did not close the prompt"
harness_ended "$START_PID" && e2e_fail "the program ended when the prompt was closed"

# The language label switches every text: its own pixels change.
e2e_crop "$MAIN" 108 262 52 13 "$E2E_WORK/before.png"
e2e_click "$MAIN" 120 268
changed() {
  e2e_crop "$MAIN" 108 262 52 13 "$E2E_WORK/after.png"
  [[ "$(e2e_pixels_differ "$E2E_WORK/before.png" "$E2E_WORK/after.png")" != 0 ]]
}
wait_for 5 changed || e2e_fail "a click on the language label changed nothing"

# Exit ends the program.
e2e_click "$MAIN" 110 222
e2e_wait_end 10 || e2e_fail "Exit did not end the program"
echo "PASS"
