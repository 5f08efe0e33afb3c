#!/usr/bin/env bash
# The Windows program under Wine at every scale (tests/e2e_scale.sh).
# Exits 77 (skipped) when something is missing.
set -uo pipefail

TARGET=wine
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/e2e_scale.sh"

e2e_target_check
command -v fluxbox >/dev/null || harness_skip "fluxbox is not installed"
e2e_init
harness_xvfb 1920x1200x24 || e2e_fail "no X server"
harness_openbox || e2e_fail "no window manager"
E2E_WM_PID=${HARNESS_PIDS[-1]}
e2e_target_setup
e2e_run_scale
echo PASS
