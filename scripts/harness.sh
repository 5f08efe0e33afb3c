# The private X server, the window manager, the private Wine prefix,
# polling, clean-up and the test verdicts that scripts/run-example*.sh,
# bench/run.sh and the tests share. Source it (bash); it starts nothing by
# itself.
#
#   harness_xvfb [SIZE [OPTION...]]  starts Xvfb on a display number that it
#                          picks itself (-displayfd), screen SIZE (default
#                          1024x768x24) and further Xvfb options; exports
#                          DISPLAY once the server takes connections. The
#                          server never resets: by default it would whenever
#                          its last client leaves (a short-lived xdotool,
#                          say), and a program connecting in that moment
#                          fails to open the display
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
#   harness_devsim DEVSIM LINK [OPTION...]
#                          starts the device simulator DEVSIM with OPTIONs on
#                          a new pseudo-terminal that the path LINK leads to
#                          (its output in LINK.out), records it and waits
#                          until LINK is there; ${HARNESS_PIDS[-1]} is its id
#   harness_wine_prefix DIR [OPTION...]
#                          makes DIR a private 64-bit Wine prefix and exports
#                          WINEPREFIX, WINEARCH and WINEDEBUG for it: Wine's
#                          fonts in its Windows folder, no file associations
#                          from the host (the menu builder is off), COM1..COM4
#                          leading to paths that do not exist (never to the
#                          machine's own ports); then ends the prefix's server,
#                          so that the next program reads the registry anew,
#                          starts one program and waits until the prefix's
#                          dosdevices/comN links lead where the registry says
#                          (Wine rewrites them then; a program started
#                          earlier could open a stale one). Wine also gives
#                          the machine's own /dev/ttyS* free COM names above
#                          those mapped: only a program that looks for ports
#                          beyond COM4 sees them.
#                          Options:
#                            --port N=PATH   COMn (N from 1 to 256) leads to
#                                            PATH
#                            --dpi N         the screen resolution (LogPixels)
#                            --colour NAME=R G B  a colour of the scheme
#                                            (Window, WindowText, ...)
#                            --server        starts a persistent server, so
#                                            that each program starts fast
#                          harness_cleanup ends the prefix's server and every
#                          program left in it
#   harness_fail MESSAGE   prints "FAIL: MESSAGE", runs the command in
#                          HARNESS_ON_FAIL if set (to show a log), exits 1
#   harness_skip MESSAGE   prints "SKIP: MESSAGE" and exits 77, which ctest
#                          counts as skipped; under CI ($CI set) nothing may
#                          be missing, so it fails instead
#   harness_window REGEX   the id of the first visible window whose name
#                          matches the extended regular expression REGEX;
#                          fails when there is none
#   harness_visible REGEX  whether there is such a window
#   harness_geometry ID    "left top width height" of window ID's client
#                          area on the screen
#   harness_pixel X Y      "r,g,b" of the screen's pixel at X,Y
#   harness_example_tour LOG SHOTS NAME
#                          the sample CD's tour once the start menu (output
#                          in LOG) runs on the harness's display:
#                          waits for its window, saves the update prompt as
#                          SHOTS/NAME-prompt.png and answers it with the second
#                          button, points at the Tarvex entry and saves the
#                          window as SHOTS/NAME.png; sets HARNESS_MAIN to the
#                          window and HARNESS_PERCENT to its scale in percent
#   harness_contrast X Y W H  the contrast ratio (WCAG 2, relative
#                          luminance) of the text in that rectangle of the
#                          screen: the most frequent colour is taken as the
#                          ground, the next as the text; 1.00 for one colour
#
#   harness_windows_build ROOT
#                          picks the Windows program under test: the i686
#                          product in ROOT/build/win32 with the 32-bit loader
#                          when a probe (the loader's --version) shows that
#                          32-bit code runs here; otherwise, with the reason
#                          printed, the x86_64 build in ROOT/build/win64 with
#                          the 64-bit loader in its place. START_WINE32=off
#                          forces the latter. Sets HARNESS_WINBUILD and
#                          HARNESS_WINLOADER; fails when Wine is not installed
#
# HARNESS_WINE and HARNESS_WINESERVER are Wine's 64-bit loader and server,
# HARNESS_WINE32 its 32-bit loader, each called by its path (/usr/bin/wine
# would choose by itself). One 64-bit prefix serves both loaders.
#
# Each function that starts something returns 1 with the reason on stderr
# when it fails, and leaves the decision (exit, fail, skip) to the caller.
# The logs of Xvfb, the window managers and wineboot live in a temporary
# folder that harness_cleanup removes.

HARNESS_PIDS=()
HARNESS_DIR=""
HARNESS_WINEPREFIX=""
HARNESS_ON_FAIL=""
HARNESS_WINE=/usr/lib/wine/wine64
HARNESS_WINE32=/usr/lib/wine/wine
HARNESS_WINBUILD=""
HARNESS_WINLOADER=""
HARNESS_WINESERVER=/usr/lib/wine/wineserver

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
  if [[ -n $HARNESS_WINEPREFIX ]]; then
    # Ends the prefix's server and whatever still runs in it.
    WINEPREFIX=$HARNESS_WINEPREFIX "$HARNESS_WINESERVER" -k 2>/dev/null || true
    WINEPREFIX=$HARNESS_WINEPREFIX "$HARNESS_WINESERVER" -w 2>/dev/null || true
    HARNESS_WINEPREFIX=""
  fi
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
  exec {fd}< <(exec Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp -noreset "$@" 3>&1 >/dev/null \
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

harness_devsim() {
  local devsim=$1 link=$2
  shift 2
  "$devsim" --pty-link "$link" "$@" >"$link.out" 2>&1 &
  harness_track $!
  wait_for 5 test -e "$link" || {
    echo "the device simulator on $link did not start: $(harness_tail "$link.out")" >&2
    return 1
  }
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

# Writes the values given as KEY NAME DATA TYPE quadruples (TYPE REG_SZ or
# REG_DWORD) into the registry of $WINEPREFIX, in one regedit call: one reg
# call a value takes about a second each.
harness_wine_reg() {
  local file="$HARNESS_DIR/values.reg" i data
  {
    printf 'REGEDIT4\r\n'
    for ((i = 1; i <= $#; i += 4)); do
      local key=${!i} name=${@:i+1:1} value=${@:i+2:1} type=${@:i+3:1}
      key=${key/#HKLM/HKEY_LOCAL_MACHINE}
      key=${key/#HKCU/HKEY_CURRENT_USER}
      if [[ $type == REG_DWORD ]]; then
        printf -v data 'dword:%08x' "$value"
      else
        data=${value//\\/\\\\}
        data="\"${data//\"/\\\"}\""
      fi
      printf '\r\n[%s]\r\n"%s"=%s\r\n' "$key" "$name" "$data"
    done
  } >"$file"
  # Once more after a pause: right after wineboot, regedit has been seen to
  # fail once.
  "$HARNESS_WINE" regedit /s "Z:${file//\//\\}" >/dev/null 2>&1 </dev/null || {
    sleep 1
    "$HARNESS_WINE" regedit /s "Z:${file//\//\\}" >/dev/null 2>&1 </dev/null
  } || {
    echo "could not write the registry values of $file in $WINEPREFIX" >&2
    return 1
  }
}

# True when every dosdevices/comN link of $WINEPREFIX named in the arguments
# (N=PATH) leads to its PATH.
harness_wine_links() {
  local pair
  for pair in "$@"; do
    [[ $(readlink "$WINEPREFIX/dosdevices/com${pair%%=*}") == "${pair#*=}" ]] || return 1
  done
}

harness_wine_prefix() {
  local dir=$1 server=no port
  local -a ports=() settings=() links=()
  shift
  [[ -x $HARNESS_WINE && -x $HARNESS_WINESERVER ]] || { echo "wine64 is not installed" >&2; return 1; }
  for port in 1 2 3 4; do ports[port]="$dir/no-port"; done
  while (($#)); do
    case $1 in
      --server) server=yes ;;
      --port)
        [[ ${2:-} =~ ^([1-9][0-9]*)=(.+)$ ]] && ((BASH_REMATCH[1] <= 256)) ||
          { echo "harness_wine_prefix: --port N=PATH (N from 1 to 256), not '${2:-}'" >&2; return 1; }
        ports[BASH_REMATCH[1]]=${BASH_REMATCH[2]}
        shift
        ;;
      --dpi)
        [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "harness_wine_prefix: --dpi N, not '${2:-}'" >&2; return 1; }
        settings+=('HKCU\Control Panel\Desktop' LogPixels "$2" REG_DWORD)
        shift
        ;;
      --colour)
        [[ ${2:-} == ?*=* ]] || { echo "harness_wine_prefix: --colour NAME=R G B, not '${2:-}'" >&2; return 1; }
        settings+=('HKCU\Control Panel\Colors' "${2%%=*}" "${2#*=}" REG_SZ)
        shift
        ;;
      *) echo "harness_wine_prefix: unknown option $1" >&2; return 1 ;;
    esac
    shift
  done
  harness_logs
  export WINEPREFIX=$dir WINEARCH=win64 WINEDEBUG=-all
  HARNESS_WINEPREFIX=$dir
  # The menu builder would bring the host's viewers in as associations.
  WINEDLLOVERRIDES="winemenubuilder.exe=d" "$HARNESS_WINE" wineboot -i \
    >"$HARNESS_DIR/wineboot.log" 2>&1 </dev/null || {
    echo "wineboot failed: $(harness_tail "$HARNESS_DIR/wineboot.log")" >&2
    return 1
  }
  # A new prefix's font folder is empty: without these, "MS Sans Serif"
  # falls back to another face.
  mkdir -p "$dir/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/* "$dir/drive_c/windows/Fonts/" 2>/dev/null || true
  # At start-up Wine gives the COM names the paths that the registry names,
  # and the machine's own serial devices the names left free.
  for port in "${!ports[@]}"; do
    settings+=('HKLM\Software\Wine\Ports' "COM$port" "${ports[port]}" REG_SZ)
    links+=("$port=${ports[port]}")
  done
  harness_wine_reg "${settings[@]}" || return 1
  # The ports, the resolution and the colours are read when the server
  # starts.
  "$HARNESS_WINESERVER" -k 2>/dev/null || true
  "$HARNESS_WINESERVER" -w || true
  if [[ $server == yes ]]; then
    "$HARNESS_WINESERVER" -p -f >/dev/null 2>&1 &
    harness_track $!
  fi
  "$HARNESS_WINE" reg query 'HKLM\Software\Wine\Ports' >/dev/null 2>&1 </dev/null
  wait_for 20 harness_wine_links "${links[@]}" || {
    echo "the prefix's COM links did not come to lead where the registry says" >&2
    return 1
  }
}

harness_windows_build() {
  local root=$1 reason out
  [[ -x $HARNESS_WINE && -x $HARNESS_WINESERVER ]] || { echo "wine64 is not installed" >&2; return 1; }
  if [[ ${START_WINE32:-} == off ]]; then
    reason="START_WINE32=off"
  elif [[ ! -e $HARNESS_WINE32 ]]; then
    echo "32-bit Wine is not installed (wine32:i386)" >&2
    return 1
  elif ! out=$("$HARNESS_WINE32" --version 2>&1 </dev/null); then
    # A kernel without 32-bit support refuses the loader at once
    # ("Exec format error").
    out=${out##*"$HARNESS_WINE32": }
    reason="the 32-bit loader fails: ${out//$'\n'/ }"
  else
    HARNESS_WINBUILD=$root/build/win32 HARNESS_WINLOADER=$HARNESS_WINE32
    return 0
  fi
  echo "NOTE: 32-bit code cannot run here ($reason): the x86_64 build runs in place of the i686 product"
  HARNESS_WINBUILD=$root/build/win64 HARNESS_WINLOADER=$HARNESS_WINE
}

harness_window() {
  local id
  id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
  [[ -n "$id" ]] && echo "$id"
}

harness_visible() { harness_window "$1" >/dev/null; }

harness_geometry() {
  xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^  Width/ {w=$NF} /^  Height/ {h=$NF} END {print x, y, w, h}'
}

harness_pixel() {
  import -window root -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
    sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}

harness_example_tour() {
  local log=$1 shots=$2 name=$3 prompt='Out-of-date|Veraltete' id
  wait_for 30 harness_visible '^orbilex CD' || {
    echo "the start window did not appear: $(harness_tail "$log")" >&2
    return 1
  }
  mkdir -p "$shots"
  if wait_for 10 harness_visible "$prompt"; then
    sleep 0.3
    id=$(harness_window "$prompt")
    import -frame -window "$id" "$shots/$name-prompt.png"
    echo "The update prompt: $shots/$name-prompt.png"
    xdotool key Tab Return # the second button: go on without the update
    wait_for 5 eval '! harness_visible "$prompt"' || true
  else
    echo "no update prompt appeared" >&2
  fi
  HARNESS_MAIN=$(harness_window '^orbilex CD')
  # The window's layout is 459 pixels wide, scaled from 120 dpi on.
  local width
  read -r _ _ width _ <<<"$(harness_geometry "$HARNESS_MAIN")"
  HARNESS_PERCENT=$((${width:-0} * 100 / 459))
  ((HARNESS_PERCENT >= 100)) || HARNESS_PERCENT=100
  # Over the Tarvex entry: the arrow shows.
  xdotool mousemove --window "$HARNESS_MAIN" $((150 * HARNESS_PERCENT / 100)) $((112 * HARNESS_PERCENT / 100))
  sleep 0.5
  import -window "$HARNESS_MAIN" "$shots/$name.png"
  echo "The start window: $shots/$name.png"
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
