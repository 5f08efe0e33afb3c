#!/usr/bin/env bash
# The Windows program's choice of serial ports under Wine, on a private X
# server, with a prefix that maps COM12 besides COM1..COM4 (Wine lists
# every mapped name, and always has COM1..COM4):
#  1. ORBILEX_COM2=COM12 with an out-of-date interface on COM12: the
#     interface prompt comes, COM12 having been opened as \\.\COM12; the
#     trace lists the ports found, COM12 among them, and tells the choice.
#  2. Without the variable COM1..COM4 are taken: COM12 is left out, and
#     nothing is written to it.
#
# Needs what wine_scenarios_test.sh needs; exits 77 (skipped) when
# something is missing.
set -uo pipefail

TARGET=wine
source "$(dirname "$0")/e2e_lib.sh"

e2e_target_check
e2e_init
e2e_start_display
e2e_target_setup --port 12="$E2E_WORK/com12"

harness_devsim "$DEVSIM" "$E2E_WORK/com12" --kind interface --version 0.5 --baud-check \
  --log "$E2E_WORK/com12.log" || e2e_fail "the simulator on COM12 did not start"
e2e_target_ini ""
e2e_make_cd $'[CDStart]\nVXVersion=2.0\n'
trace="$E2E_CD/trace.log"

# Each argument an extended regular expression for an event of the trace,
# after its time stamp.
expect_trace() {
  local lines event
  lines=$(tr -d '\r' <"$trace")
  for event in "$@"; do
    grep -qE "^ *[0-9]+ ms  $event\$" <<<"$lines" || e2e_fail "no trace line for '$event' in:"$'\n'"$lines"
  done
}

e2e_note "1. ORBILEX_COM2=COM12, an out-of-date interface on COM12"
ORBILEX_COM2=COM12 START_TRACE=trace.log e2e_start en_US.UTF-8
prompt=$(e2e_wait_window 30 '^Out-of-date Tarvex version detected$') ||
  e2e_fail "no interface prompt; trace: $(cat "$trace" 2>/dev/null)"
e2e_click "$prompt" 112 132
e2e_wait_end 10 || e2e_fail "the update did not end the program"
START_PID=""
expect_trace \
  'serial ports found: COM1 [^,]+, COM2 [^,]+, COM3 [^,]+, COM4 [^,]+, .*COM12 \\Device\\[A-Za-z]+[0-9]+.*' \
  'serial port COM2 left out: COM1 to COM4 are taken' \
  'port COM2 is COM12 \(ORBILEX_COM2\)' \
  'port COM2 \(\\\\\.\\COM12\) open: ok' \
  'port COM2 write "0iv\\r" \(4 bytes\): 4 written' \
  'reply COM2: interface, version "0\.5" = 0\.5, minimum 2: out of date, port marked'
[[ $(e2e_device_commands 12) == *'0iv\r '* ]] || e2e_fail "COM12 did not receive 0iv: $(e2e_device_commands 12)"

e2e_note "2. no variable: COM1 to COM4 are taken, COM12 is left out"
: >"$E2E_WORK/com12.log"
rm -f "$trace"
START_TRACE=trace.log e2e_start en_US.UTF-8
wait_for 30 grep -qs 'x-ray unit stage: ' "$trace" || e2e_fail "detection did not end: $(cat "$trace" 2>/dev/null)"
e2e_stop
expect_trace 'serial port COM12 left out: COM1 to COM4 are taken' 'port COM2 is COM2' \
  'port COM2 open: .*'
[[ -z $(e2e_device_commands 12) ]] || e2e_fail "COM12 received: $(e2e_device_commands 12)"
echo PASS
