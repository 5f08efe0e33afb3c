# The private X server, the window manager, polling, clean-up and the test
# verdicts that scripts/run-example*.sh, bench/run.sh and the tests share.
# Source it (bash); it starts nothing by itself.
#
#   harness_xvfb [SIZE [OPTION...]]  starts Xvfb on a display number that it
#                          picks itself (-displayfd), screen SIZE (default
#                          1024x768x24) and further Xvfb options; exports
#                          DISPLAY once the server takes connections
#   harness_openbox        starts openbox on $DISPLAY and waits until it
#                          manages the screen (_NET_SUPPORTING_WM_CHECK)
#   harness_fluxbox        the same with fluxbox, which honours the hints
#                          that limit a window's actions (openbox offers
#                          a dialog's minimise and full screen regardless)
#   wait_for SECONDS CMD.. runs CMD every 0.05 s until it succeeds, for at
#                          most SECONDS (fractions allowed); fails after that
#   harness_ended PID      true once process PID has ended
#   harness_track PID..    records processes the caller started
#   harness_stop PID..     ends recorded processes now and forgets them
#   harness_cleanup        ends every recorded process, newest first, each
#                          by its process id; call it from the EXIT trap
#   harness_fail MESSAGE   prints "FAIL: MESSAGE", runs the command in
#                          HARNESS_ON_FAIL if set (to show a log), exits 1
#   harness_skip MESSAGE   prints "SKIP: MESSAGE" and exits 77, which ctest
#                          counts as skipped; under CI ($CI set) nothing may
#                          be missing, so it fails instead
#   harness_contrast X Y W H  the contrast ratio (WCAG 2, relative
#                          luminance) of the text in that rectangle of the
#                          screen: the most frequent colour is taken as the
#                          ground, the next as the text; 1.00 for one colour
#
# Each function that starts something returns 1 with the reason on stderr
# when it fails, and leaves the decision (exit, fail, skip) to the caller.
# The logs of Xvfb and the window managers live in a temporary folder that
# harness_cleanup removes.

HARNESS_PIDS=()
HARNESS_DIR=""
HARNESS_ON_FAIL=""

harness_fail() {
  echo "FAIL: $*"
  [[ -z $HARNESS_ON_FAIL ]] || $HARNESS_ON_FAIL
  exit 1
}

harness_skip() {
  [[ -z ${CI:-} ]] || harness_fail "$* (not skipped under CI)"
  echo "SKIP: $*"
  exit 77
}

harness_track() { HARNESS_PIDS+=("$@"); }

harness_ended() {
  [[ ! -e /proc/$1 ]] || grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# Ends process $1 by its id: TERM, then KILL if it is still there after 5 s.
harness_end() {
  kill "$1" 2>/dev/null || true
  wait_for 5 harness_ended "$1" || kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

harness_stop() {
  local pid i
  for pid in "$@"; do
    harness_end "$pid"
    for i in "${!HARNESS_PIDS[@]}"; do
      [[ ${HARNESS_PIDS[i]} == "$pid" ]] && unset 'HARNESS_PIDS[i]'
    done
  done
  HARNESS_PIDS=("${HARNESS_PIDS[@]}")
}

harness_cleanup() {
  local i
  for ((i = ${#HARNESS_PIDS[@]} - 1; i >= 0; i--)); do harness_end "${HARNESS_PIDS[i]}"; done
  HARNESS_PIDS=()
  if [[ -n $HARNESS_DIR ]]; then rm -rf "$HARNESS_DIR"; fi
  HARNESS_DIR=""
}

wait_for() {
  local limit=$1 whole frac now deadline
  shift
  whole=${limit%%.*}
  frac=0
  [[ $limit == *.* ]] && frac=${limit#*.}
  frac=${frac}000000
  now=${EPOCHREALTIME//[!0-9]/}
  deadline=$((now + 10#${whole:-0} * 1000000 + 10#${frac:0:6}))
  while true; do
    "$@" && return 0
    now=${EPOCHREALTIME//[!0-9]/}
    ((now < deadline)) || return 1
    sleep 0.05
  done
}

harness_logs() {
  [[ -n $HARNESS_DIR ]] || HARNESS_DIR=$(mktemp -d /tmp/harness.XXXXXX)
}

# The last lines of log $1, on one line, for an error message.
harness_tail() { tail -n 3 "$1" 2>/dev/null | tr '\n' ' '; }

harness_xvfb() {
  local size=${1:-1024x768x24} fd display=""
  (($# == 0)) || shift
  command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; return 1; }
  harness_logs
  # Xvfb writes the display number to the pipe once it takes connections.
  exec {fd}< <(exec Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp "$@" 3>&1 >/dev/null \
    2>"$HARNESS_DIR/xvfb.log")
  harness_track $!
  read -r -t 10 -u "$fd" display || true
  exec {fd}<&-
  if [[ ! $display =~ ^[0-9]+$ ]]; then
    echo "Xvfb reported no display within 10 s: $(harness_tail "$HARNESS_DIR/xvfb.log")" >&2
    return 1
  fi
  export DISPLAY=":$display"
}

harness_wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

harness_openbox() {
  command -v openbox >/dev/null || { echo "openbox is not installed" >&2; return 1; }
  harness_logs
  openbox --sm-disable >"$HARNESS_DIR/openbox.log" 2>&1 &
  harness_track $!
  wait_for 10 harness_wm_ready || {
    echo "openbox did not manage $DISPLAY within 10 s: $(harness_tail "$HARNESS_DIR/openbox.log")" >&2
    return 1
  }
}

harness_fluxbox() {
  command -v fluxbox >/dev/null || { echo "fluxbox is not installed" >&2; return 1; }
  harness_logs
  # Its configuration, made on the first start, goes to the private folder.
  HOME="$HARNESS_DIR" fluxbox >"$HARNESS_DIR/fluxbox.log" 2>&1 &
  harness_track $!
  wait_for 10 harness_wm_ready || {
    echo "fluxbox did not manage $DISPLAY within 10 s: $(harness_tail "$HARNESS_DIR/fluxbox.log")" >&2
    return 1
  }
}

harness_contrast() {
  import -window root -crop "${3}x${4}+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
    sed -n 's/^[0-9]*,[0-9]*: *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
    sort | uniq -c | sort -rn | awk '
      function linear(c) { c /= 255; return c <= 0.04045 ? c / 12.92 : ((c + 0.055) / 1.055) ^ 2.4 }
      function luminance(r, g, b) { return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b) }
      NR == 1 { ground = luminance($2, $3, $4); text = ground }
      NR == 2 { text = luminance($2, $3, $4) }
      END {
        high = ground > text ? ground : text
        low = ground > text ? text : ground
        printf "%.2f\n", (high + 0.05) / (low + 0.05)
      }'
}
