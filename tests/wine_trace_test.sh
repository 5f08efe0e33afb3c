#!/usr/bin/env bash
# The trace of the Windows product (build/win32/start.exe) under Wine, on a
# private X server: START_TRACE names a file relative to the folder the
# program starts in, and an out-of-date interface on COM1 is answered with
# the update, which starts the updater in its own folder. The file holds the
# settings read, the language chosen, the port events, the reply's version
# and decision, the prompt's answer and the launch, each line stamped and
# ended with CR LF.
#
# Needs what wine_scenarios_test.sh needs; exits 77 (skipped) when
# something is missing.
set -uo pipefail

TARGET=wine
source "$(dirname "$0")/e2e_lib.sh"

e2e_target_check
e2e_init
e2e_start_display
e2e_target_setup

e2e_device 1 interface 0.5
e2e_target_ini ""
e2e_make_cd $'[CDStart]\nCDVersion=2.1\nVXVersion=2.0\n'
START_TRACE=trace.log e2e_start en_US.UTF-8
prompt=$(e2e_wait_window 30 '^Out-of-date Tarvex version detected$') || e2e_fail "no interface prompt"
e2e_click "$prompt" 112 132
e2e_wait_end 10 || e2e_fail "the update did not end the program"
START_PID=""

trace="$E2E_CD/trace.log"
[[ -s "$trace" ]] || e2e_fail "no trace in $trace (program output: $(cat "$E2E_WORK/start.out"))"
! grep -qv $'\r$' "$trace" || e2e_fail "trace lines without CR LF: $(grep -v $'\r$' "$trace" | head -3)"
lines=$(tr -d '\r' <"$trace")
# Each an extended regular expression for an event, after its time stamp.
expected=(
  'trace begins'
  'profile orbilex.ini \[Einstellungen\] Sprache = "XXX" \(default\)'
  'language English: no setting, locale 0x0409 is not German'
  'profile .*\\start\.ins \[CDStart\] VXVersion = "2\.0"'
  'port COM1 open: ok'
  'port COM1 write "0iv\\r" \(4 bytes\): 4 written'
  'port COM1 read "KORVA TARVEX 88B Ver 0\.5 /.*'
  'reply COM1: interface, version "0\.5" = 0\.5, minimum 2: out of date, port marked'
  'prompt VXUpdateForm answered update'
  'launch .*\\Update\\Tarvex\\VXupdate\.exe in .*\\Update\\Tarvex: started'
)
for event in "${expected[@]}"; do
  grep -qE "^ *[0-9]+ ms  $event\$" <<<"$lines" || e2e_fail "no trace line for '$event' in:"$'\n'"$lines"
done
echo PASS
