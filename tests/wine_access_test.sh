#!/usr/bin/env bash
# What a screen reader gets from the Windows program under Wine, asked from
# another process through Active Accessibility (msaa_probe.exe beside the
# program): the start window's eight entries, language switch and version
# label by name and role, in German and, after the switch's default action,
# in English; a focus event naming the entry for each keyboard move; an
# entry's default action ("Exit" ends the program); an out-of-date
# interface's prompt with its three texts and two buttons in both
# languages, a focus event as Tab moves between the buttons, and "Ignore"
# pressed through its default action. Exits 77 (skipped) when something is
# missing.
set -uo pipefail

TARGET=wine
source "$(dirname "$0")/e2e_lib.sh"

e2e_target_check
PROBE="$(dirname "$E2E_PROGRAM")/msaa_probe.exe"
[[ -f "$PROBE" ]] || harness_skip "no $PROBE beside the program"
e2e_init
e2e_start_display
e2e_target_setup

START_INS=$'[CDStart]\nCDVersion=2.1\nVXVersion=2.0\nRTGVersion=1.1\n'

E2E_PROBE=("$E2E_WINE" "$PROBE")

e2e_note "start window in German, keys, the language switch, Exit"
e2e_target_ini ""
e2e_make_cd "$START_INS"
e2e_start de_DE.UTF-8
MAIN=$(e2e_wait_window 30 '^orbilex CD V2\.1$') || e2e_fail "no start window"
e2e_expect_probe "orbilex CD" tree -- \
  "client: orbilex CD V2.1" \
  "link: orbilex installieren/updaten [jump]" \
  "link: orbilex Handbuch anzeigen [jump]" \
  "link: Update Tarvex [jump]" \
  "link: Update Großanzeige [jump]" \
  "link: Update Röntgengerät [jump]" \
  "link: Update Betriebsgerät Franck-Hertz [jump]" \
  "link: Acrobat Reader installieren [jump]" \
  "link: Beenden [jump]" \
  "push button: English [press]" \
  "static text: CD Version 2.1"
e2e_expect_probe "orbilex CD" keys down down end up tab tab -- \
  "focus link: orbilex installieren/updaten [jump]" \
  "focus link: orbilex Handbuch anzeigen [jump]" \
  "focus link: Beenden [jump]" \
  "focus link: Acrobat Reader installieren [jump]" \
  "focus link: Beenden [jump]" \
  "focus push button: English [press]"
e2e_expect_probe "orbilex CD" press 9 -- "pressed 9"
e2e_expect_probe "orbilex CD" tree -- \
  "client: orbilex CD V2.1" \
  "link: Install or update orbilex [jump]" \
  "link: View the orbilex manual [jump]" \
  "link: Update Tarvex [jump]" \
  "link: Update KORVA Display [jump]" \
  "link: Update X-ray device [jump]" \
  "link: Update Control Unit Franck-Hertz [jump]" \
  "link: Install the Acrobat Reader [jump]" \
  "link: Exit [jump]" \
  "push button: Deutsch [press]" \
  "static text: CD Version 2.1"
e2e_expect_probe "orbilex CD" press 8 -- "pressed 8"
e2e_wait_end 10 || e2e_fail "the program still runs after Exit's default action"

for locale in de_DE.UTF-8 en_US.UTF-8; do
  e2e_note "prompt of an out-of-date interface, $locale"
  e2e_device 2 interface 1.5
  e2e_start "$locale"
  if [[ "$locale" == de_* ]]; then
    title="Veraltete Tarvex Version gefunden"
    texts=("static text: Es wurde ein angeschlossenes Tarvex Interface erkannt, dass eine veraltete Version der Firmware verwendet. "
      "static text: Es wird dringend empfohlen, die Firmware durch ein Update zu aktualisieren. Ohne ein Update kann kein fehlerfreier Betrieb des Interfaces gewährleistet werden."
      "static text: Möchten Sie das Tarvex Interface jetzt aktualisieren?"
      "push button: Update durchführen [press]" "push button: Ignorieren [press]")
  else
    title="Out-of-date Tarvex version detected"
    texts=("static text: A connected Tarvex interface has been detected, which uses an out-of-date version of the Tarvex firmware."
      "static text: We strongly recommend to update the firmware of your interface. If you do not update it, problems might occur while working."
      "static text: Would you like to update your Tarvex interface now?"
      "push button: Update Tarvex now [press]" "push button: Ignore [press]")
  fi
  PROMPT=$(e2e_wait_window 30 "^$title\$") || e2e_fail "no prompt '$title'"
  e2e_expect_probe "$title" tree -- "client: $title" "${texts[@]}"
  e2e_expect_probe "$title" keys tab -- "focus ${texts[4]}"
  e2e_expect_probe "$title" press 5 -- "pressed 5"
  wait_for 10 eval '! e2e_window_viewable "$PROMPT"' || e2e_fail "the prompt stayed after Ignore's default action"
  e2e_stop
  e2e_devices_stop
done
echo PASS
