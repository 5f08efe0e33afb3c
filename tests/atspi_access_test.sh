#!/usr/bin/env bash
# What a screen reader gets from the Linux program through AT-SPI, asked as
# Orca does (tests/atspi_probe.py, Debian's python3 with pyatspi), on a
# private session bus with its own accessibility bus: the start window's
# eight entries, language switch and version label by name and role, in
# German and, after the switch's action, in English; a focus event naming
# the entry for each key that moves the selection; "Exit" run through its
# action; an out-of-date interface's prompt with its three texts and two
# buttons in both languages, and "Ignore" pressed through its action. Exits
# 77 (skipped) when something is missing.
set -uo pipefail

# A private session bus for the whole test.
if [[ -z "${ATSPI_TEST_SESSION:-}" ]]; then
  command -v dbus-run-session >/dev/null || { echo "SKIP: dbus-run-session is not installed"; exit 77; }
  exec dbus-run-session -- env ATSPI_TEST_SESSION=1 bash "$0" "$@" 2> >(grep -v 'fd limit' >&2)
fi

TARGET=linux
source "$(dirname "$0")/e2e_lib.sh"

e2e_target_check
LAUNCHER=/usr/libexec/at-spi-bus-launcher
[[ -x $LAUNCHER ]] || harness_skip "no $LAUNCHER (at-spi2-core)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || harness_skip "no pyatspi for /usr/bin/python3 (python3-pyatspi)"
e2e_init
e2e_start_display
e2e_target_setup
"$LAUNCHER" --launch-immediately >"$E2E_WORK/bus.log" 2>&1 &
harness_track $!

START_INS=$'[CDStart]\nCDVersion=2.1\nVXVersion=2.0\nRTGVersion=1.1\n'

E2E_PROBE=(/usr/bin/python3 "$(dirname "$0")/atspi_probe.py")

e2e_note "start window in German, keys, the language switch, Exit"
e2e_target_ini ""
e2e_make_cd "$START_INS"
e2e_start de_DE.UTF-8
MAIN=$(e2e_wait_window 30 '^orbilex CD V2\.1$') || e2e_fail "no start window"
e2e_expect_probe "orbilex CD" tree -- \
  "frame: orbilex CD V2.1" \
  "link: orbilex installieren/updaten [jump]" \
  "link: orbilex Handbuch anzeigen [jump]" \
  "link: Update Tarvex [jump]" \
  "link: Update Großanzeige [jump]" \
  "link: Update Röntgengerät [jump]" \
  "link: Update Betriebsgerät Franck-Hertz [jump]" \
  "link: Acrobat Reader installieren [jump]" \
  "link: Beenden [jump]" \
  "push button: English [press]" \
  "label: CD Version 2.1"
e2e_wait_active "$MAIN" || e2e_fail "the start window did not become active"
e2e_expect_probe "orbilex CD" keys Down Down End Up Tab Tab -- \
  "focus link: orbilex installieren/updaten [jump]" \
  "focus link: orbilex Handbuch anzeigen [jump]" \
  "focus link: Beenden [jump]" \
  "focus link: Acrobat Reader installieren [jump]" \
  "focus link: Beenden [jump]" \
  "focus push button: English [press]"
e2e_expect_probe "orbilex CD" press 9 -- "pressed 9"
e2e_expect_probe "orbilex CD" tree -- \
  "frame: orbilex CD V2.1" \
  "link: Install or update orbilex [jump]" \
  "link: View the orbilex manual [jump]" \
  "link: Update Tarvex [jump]" \
  "link: Update KORVA Display [jump]" \
  "link: Update X-ray device [jump]" \
  "link: Update Control Unit Franck-Hertz [jump]" \
  "link: Install the Acrobat Reader [jump]" \
  "link: Exit [jump]" \
  "push button: Deutsch [press]" \
  "label: CD Version 2.1"
e2e_expect_probe "orbilex CD" press 8 -- "pressed 8"
e2e_wait_end 10 || e2e_fail "the program still runs after Exit's action"

for locale in de_DE.UTF-8 en_US.UTF-8; do
  e2e_note "prompt of an out-of-date interface, $locale"
  e2e_device 2 interface 1.5
  e2e_start "$locale"
  if [[ "$locale" == de_* ]]; then
    title="Veraltete Tarvex Version gefunden"
    texts=("label: Es wurde ein angeschlossenes Tarvex Interface erkannt, dass eine veraltete Version der Firmware verwendet. "
      "label: Es wird dringend empfohlen, die Firmware durch ein Update zu aktualisieren. Ohne ein Update kann kein fehlerfreier Betrieb des Interfaces gewährleistet werden."
      "label: Möchten Sie das Tarvex Interface jetzt aktualisieren?"
      "push button: Update durchführen [press]" "push button: Ignorieren [press]")
  else
    title="Out-of-date Tarvex version detected"
    texts=("label: A connected Tarvex interface has been detected, which uses an out-of-date version of the Tarvex firmware."
      "label: We strongly recommend to update the firmware of your interface. If you do not update it, problems might occur while working."
      "label: Would you like to update your Tarvex interface now?"
      "push button: Update Tarvex now [press]" "push button: Ignore [press]")
  fi
  PROMPT=$(e2e_wait_window 30 "^$title\$") || e2e_fail "no prompt '$title'"
  e2e_expect_probe "$title" tree -- "dialog: $title" "${texts[@]}"
  e2e_expect_probe "$title" press 5 -- "pressed 5"
  wait_for 10 eval '! e2e_window_viewable "$PROMPT"' || e2e_fail "the prompt stayed after Ignore's action"
  e2e_stop
  e2e_devices_stop
done
echo PASS
