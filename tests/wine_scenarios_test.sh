#!/usr/bin/env bash
# User-level scenarios against the Windows product (build/win32/start.exe)
# under 32-bit Wine, on a private X server with simulated devices: the start window
# and its pixels without a device, the choice and switch of the language,
# every entry, the update prompts of out-of-date devices with their buttons,
# keys and close box, no prompt for current firmware. Screenshots of both
# start windows and of the prompts go to $BUILD_DIR/screenshots. Exits 77
# (skipped) when something is missing.
set -uo pipefail

TARGET=wine
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/e2e_scenarios.sh"

e2e_target_check
e2e_init
e2e_start_display
e2e_target_setup
e2e_run_scenarios
echo PASS
