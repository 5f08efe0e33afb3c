#!/usr/bin/env bash
# The Linux program at every scale (tests/e2e_scale.sh), and its prompt
# under openbox, which offers neither to minimise nor to maximise it.
# Exits 77 (skipped) when something is missing.
set -uo pipefail

TARGET=linux
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/e2e_scale.sh"

e2e_target_check
command -v fluxbox >/dev/null || harness_skip "fluxbox is not installed"
e2e_init
harness_xvfb 1920x1200x24 || e2e_fail "no X server"
harness_openbox || e2e_fail "no window manager"
E2E_WM_PID=${HARNESS_PIDS[-1]}
e2e_target_setup
scale_start
actions=$(xprop -id "$PROMPT" _NET_WM_ALLOWED_ACTIONS)
[[ $actions == *_NET_WM_ACTION_CLOSE* && ! $actions =~ MINIMIZE|MAXIMIZE ]] ||
  e2e_fail "openbox offers $actions"
scale_end
e2e_run_scale
echo PASS
