# Shared functions of the scripts that drive the real programs on a private
# X server: the Windows build under Wine (TARGET=wine) or the Linux build
# (TARGET=linux). Source it, set TARGET, call e2e_target_check, e2e_init,
# e2e_start_display and e2e_target_setup.
#
# The X server, openbox, the Wine server and the device simulators are
# recorded by their process ids (scripts/harness.sh; E2E_DEVICE_PIDS says
# which simulator plays which port), the program in START_PID; e2e_cleanup
# (installed as the EXIT trap by e2e_init) ends each by its id. The serial
# ports COM1..COM4 always lead to $E2E_WORK/com1..com4: a device simulator
# makes that path a link to its pseudo-terminal; without one the path does
# not exist and the port is absent. So no machine port is ever touched.

E2E_SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
source "$E2E_SOURCE_DIR/scripts/harness.sh"
E2E_WINE=""
E2E_DEVICE_PIDS=([1]="" [2]="" [3]="" [4]="")
E2E_WORK=""
E2E_SHOTS=""
START_PID=""
E2E_VIEWER=no
E2E_STUB_SEEN=0

e2e_fail() { harness_fail "[$TARGET] $*"; }

# Keeps the screen at a failure.
e2e_failure_shot() {
  [[ -n "${DISPLAY:-}" && -n "$E2E_SHOTS" ]] &&
    import -window root "$E2E_SHOTS/$TARGET-failure.png" 2>/dev/null &&
    echo "screen at the failure: $E2E_SHOTS/$TARGET-failure.png"
}
HARNESS_ON_FAIL=e2e_failure_shot

e2e_note() { echo "[$TARGET] $*"; }

# Creates the work directory and the screenshot directory, installs the
# clean-up. Needs TARGET.
e2e_init() {
  for tool in Xvfb openbox xdotool xwininfo xprop import compare; do
    command -v "$tool" >/dev/null || harness_skip "$tool is not installed"
  done
  E2E_WORK=$(mktemp -d "/tmp/e2e-$TARGET.XXXXXX")
  E2E_SHOTS="${BUILD_DIR:-$E2E_SOURCE_DIR/build/linux}/screenshots"
  mkdir -p "$E2E_SHOTS"
  rm -f "$E2E_SHOTS/$TARGET-failure.png"
  trap e2e_cleanup EXIT
}

# Ends the program, the device simulators, the Wine server with the
# programs that the start menu started in its prefix, openbox and the X
# server, each by its own process id, newest first.
e2e_cleanup() {
  [[ -n "$START_PID" ]] && kill "$START_PID" 2>/dev/null
  e2e_devices_stop
  harness_cleanup
  [[ -n "$E2E_WORK" ]] && rm -rf "$E2E_WORK"
}

# ------------------------------------------------------------------ display

# Starts Xvfb and openbox on it; exports DISPLAY.
e2e_start_display() {
  harness_xvfb || e2e_fail "no X server"
  harness_openbox || e2e_fail "no window manager"
  e2e_park_mouse
}

# Moves the pointer to the screen's corner, away from every window.
e2e_park_mouse() { xdotool mousemove --sync 1 1; }

# Waits at most $1 seconds for a window named like $2; prints its id.
e2e_wait_window() { wait_for "$1" harness_visible "$2" && harness_window "$2"; }

e2e_window_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# Viewable, named windows other than $1 (and other than screen-sized ones).
e2e_other_windows() {
  local w
  for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    [[ "$w" == "$1" ]] && continue
    e2e_window_viewable "$w" || continue
    read -r _ _ width _ <<<"$(harness_geometry "$w")"
    [[ "$width" == 1024 ]] && continue
    echo "$w"
  done
}

e2e_window_name() { xdotool getwindowname "$1" 2>/dev/null; }

# True while a program that the start menu started (a stub) still runs:
# one of this run's, whose environment names this run's stub log (other
# runs of the tests may have stubs of their own at the same time), or one
# whose environment cannot be read any more (it is ending).
e2e_stub_running() {
  local pid env
  for pid in $(ps -eo pid=,stat=,comm= | awk -v names="winstub.exe stubprogram ${E2E_PROGRAMS[*]##*/}" '
      BEGIN { n = split(names, list, " "); for (i = 1; i <= n; i++) stub[list[i]] = 1 }
      $2 !~ /^Z/ && ($3 in stub) { print $1 }'); do
    env=$(tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ") || return 0
    grep -q "^START_STUB_LOG=.*${E2E_WORK##*/}" <<<"$env" && return 0
  done
  return 1
}

e2e_active() { [[ "$(xdotool getactivewindow 2>/dev/null)" == "$1" ]]; }

# Waits at most 5 s until no started program runs any more and window $1
# has been the active window for 0.2 s in a row. Under Wine, a program being
# started takes the foreground and hands it back when it ends, and a click
# in that moment can be lost: the click's activation of the window fails and
# Wine drops the click.
e2e_wait_active() {
  wait_for 5 eval '! e2e_stub_running'
  sleep 0.2
  local tries=100 steady=0
  while ((tries-- > 0)); do
    if e2e_active "$1"; then
      ((++steady >= 4)) && return 0
    else
      steady=0
    fi
    sleep 0.05
  done
  return 1
}

# Clicks at client coordinates $2,$3 of window $1, once it is active.
e2e_click() {
  e2e_wait_active "$1" || e2e_note "window $1 is not the active window; clicking anyway"
  e2e_click_at "$@"
}

# Clicks at client coordinates $2,$3 of window $1 at once.
e2e_click_at() {
  local left top
  read -r left top _ _ <<<"$(harness_geometry "$1")"
  [[ -n "$left" ]] || e2e_fail "window $1 is gone, cannot click at $2,$3"
  xdotool mousemove --sync $((left + $2)) $((top + $3)) click 1
}

# Saves the client rectangle $2,$3 ${4}x$5 of window $1 to file $6.
e2e_crop() {
  local left top
  read -r left top _ _ <<<"$(harness_geometry "$1")"
  import -window root -crop "${4}x${5}+$((left + $2))+$((top + $3))" +repage "$6" 2>/dev/null
}

# Saves the client area of window $1 as $E2E_SHOTS/$TARGET-$2.png.
e2e_shot() {
  local width height
  read -r _ _ width height <<<"$(harness_geometry "$1")"
  e2e_crop "$1" 0 0 "$width" "$height" "$E2E_SHOTS/$TARGET-$2.png" ||
    e2e_fail "could not save the screenshot $2"
}

# Number of differing pixels of two images of equal size.
e2e_pixels_differ() { compare -metric AE "$1" "$2" null: 2>&1; }

# ------------------------------------------------------------------ devices

# Plays device $2 (interface|xray) with firmware $3 on COM$1; further
# arguments go to the simulator. Its log is $E2E_WORK/com$1.log (truncated).
e2e_device() {
  local port=$1 kind=$2 version=$3
  shift 3
  [[ -z "${E2E_DEVICE_PIDS[port]}" ]] || e2e_fail "COM$port already has a device"
  : >"$E2E_WORK/com$port.log"
  harness_devsim "$DEVSIM" "$E2E_WORK/com$port" --kind "$kind" --version "$version" --baud-check \
    --log "$E2E_WORK/com$port.log" "$@" || e2e_fail "the simulator on COM$port did not start"
  E2E_DEVICE_PIDS[port]=${HARNESS_PIDS[-1]}
}

# Ends every device simulator; their links go with them.
e2e_devices_stop() {
  local port
  for port in 1 2 3 4; do
    [[ -n "${E2E_DEVICE_PIDS[port]}" ]] || continue
    harness_stop "${E2E_DEVICE_PIDS[port]}"
    E2E_DEVICE_PIDS[port]=""
    rm -f "$E2E_WORK/com$port"
  done
}

# The commands in the log of COM$1 so far, in the order they came, each
# followed by a blank.
e2e_device_commands() { awk -F'\t' 'NF >= 3 {printf "%s ", $2}' "$E2E_WORK/com$1.log"; }

# Runs the accessibility probe, the command in the array E2E_PROBE, with
# the arguments before "--", and compares what it prints (carriage returns
# dropped) with the lines after it.
e2e_expect_probe() {
  local args=() got expected
  while [[ "$1" != -- ]]; do
    args+=("$1")
    shift
  done
  shift
  expected=$(printf '%s\n' "$@")
  got=$("${E2E_PROBE[@]}" "${args[@]}" 2>/dev/null </dev/null | tr -d '\r')
  [[ "$got" == "$expected" ]] ||
    e2e_fail "${E2E_PROBE[*]##*/} ${args[*]} told:"$'\n'"$got"$'\n'"instead of:"$'\n'"$expected"
}

# ------------------------------------------------------------------ targets
# TARGET=wine: the i686 product build/win32/start.exe under 32-bit Wine
# (harness_windows_build says when the x86_64 build stands in), the same
# build's winstub.exe as every program of the CD, orbilex.ini in the
# prefix's Windows directory, ports mapped through the prefix's registry.
# TARGET=linux: $START_BIN, the POSIX stub $STUB as every program of the CD,
# orbilex.ini in $XDG_CONFIG_HOME, ports named by ORBILEX_COM1..4.

E2E_PROGRAMS=(setup.exe Update/Tarvex/VXupdate.exe Update/Display/update.exe Update/Rtg/rtgupd.exe
  Update/fhv/fhvupd.exe Acrobat/Ar405deu.exe Acrobat/Ar405eng.exe)

e2e_target_check() {
  [[ -n "${DEVSIM:-}" && -x "${DEVSIM:-}" ]] || harness_skip "no device simulator (DEVSIM)"
  case "$TARGET" in
    wine)
      harness_windows_build "$E2E_SOURCE_DIR" || harness_skip "Wine cannot run the Windows program"
      E2E_WINE=$HARNESS_WINLOADER
      E2E_PROGRAM="$HARNESS_WINBUILD/start.exe"
      E2E_STUB="$HARNESS_WINBUILD/winstub.exe"
      [[ -f "$E2E_PROGRAM" && -f "$E2E_STUB" ]] ||
        harness_skip "no start.exe with winstub.exe in $HARNESS_WINBUILD (cmake --preset ${HARNESS_WINBUILD##*/} && cmake --build --preset ${HARNESS_WINBUILD##*/})"
      ;;
    linux)
      E2E_PROGRAM="${START_BIN:-}"
      E2E_STUB="${STUB:-}"
      [[ -n "$E2E_PROGRAM" && -x "$E2E_PROGRAM" ]] ||
        harness_skip "the Linux program is not built yet (START_BIN='${START_BIN:-}')"
      [[ -n "$E2E_STUB" && -x "$E2E_STUB" ]] || harness_skip "no stub program (STUB)"
      ;;
    *) e2e_fail "TARGET must be wine or linux" ;;
  esac
}

# A Windows path for a path of this machine (Wine's drive Z: is /).
e2e_winpath() {
  local path=${1//\//\\}
  echo "Z:$path"
}

# Sets up what the target needs once per script: for Wine a private prefix
# with fonts, no file associations from the host, a high-contrast colour
# scheme, COM1..COM4 mapped to $E2E_WORK/com1..com4, and a persistent
# server; further arguments go to harness_wine_prefix (--port N=PATH).
e2e_target_setup() {
  mkdir -p "$E2E_WORK/config" "$E2E_WORK/bin-viewer" "$E2E_WORK/bin-none" "$E2E_WORK/viewer"
  cp "$E2E_STUB" "$E2E_WORK/viewer/"
  E2E_STUB_LOG="$E2E_WORK/stub.log"
  [[ "$TARGET" == wine ]] || return 0
  # A high-contrast scheme, white texts on black windows: the prompts take
  # it, the start window keeps its black texts on white.
  harness_wine_prefix "$E2E_WORK/prefix" --port 1="$E2E_WORK/com1" --port 2="$E2E_WORK/com2" \
    --port 3="$E2E_WORK/com3" --port 4="$E2E_WORK/com4" --colour 'Window=0 0 0' \
    --colour 'WindowText=255 255 255' --server "$@" || e2e_fail "could not set up the Wine prefix"
}

# Writes orbilex.ini with the text $1, or removes it when $1 is empty.
e2e_target_ini() {
  local ini="$E2E_WORK/config/orbilex.ini"
  [[ "$TARGET" == wine ]] && ini="$WINEPREFIX/drive_c/windows/orbilex.ini"
  if [[ -n "$1" ]]; then
    printf '%s' "$1" >"$ini"
  else
    rm -f "$ini"
  fi
}

# Makes a PDF viewer present ($1 = yes: the stub, recording the document
# as its argument) or absent ($1 = no).
e2e_target_viewer() {
  E2E_VIEWER=$1
  [[ "$TARGET" == wine ]] || return 0
  if [[ "$1" == yes ]]; then
    "$E2E_WINE" reg add 'HKCR\.pdf' /ve /d e2epdf /f >/dev/null 2>&1 </dev/null ||
      e2e_fail "could not register the PDF type"
    "$E2E_WINE" reg add 'HKCR\e2epdf\shell\open\command' /ve \
      /d "\"$(e2e_winpath "$E2E_WORK/viewer/winstub.exe")\" \"%1\"" /f >/dev/null 2>&1 </dev/null ||
      e2e_fail "could not register the PDF viewer"
  else
    "$E2E_WINE" reg delete 'HKCR\.pdf' /f >/dev/null 2>&1 </dev/null
    "$E2E_WINE" reg delete 'HKCR\e2epdf' /f >/dev/null 2>&1 </dev/null
    ! "$E2E_WINE" reg query 'HKCR\.pdf' >/dev/null 2>&1 </dev/null ||
      e2e_fail "a PDF association is still registered"
  fi
}

# Lays out a CD in $E2E_WORK/cd with the program, start.ins holding the
# text $1 (CR LF line ends), both manuals and the stub at every program
# path.
e2e_make_cd() {
  local cd="$E2E_WORK/cd" program
  rm -rf "$cd"
  mkdir -p "$cd"
  for program in "${E2E_PROGRAMS[@]}"; do
    mkdir -p "$cd/$(dirname "$program")"
    cp "$E2E_STUB" "$cd/$program"
  done
  cp "$E2E_SOURCE_DIR/example/ManualD.pdf" "$E2E_SOURCE_DIR/example/ManualE.pdf" "$cd/"
  if [[ "$TARGET" == wine ]]; then
    cp "$E2E_PROGRAM" "$cd/start.exe"
  else
    cp "$E2E_PROGRAM" "$cd/start"
  fi
  printf '%s' "${1//$'\n'/$'\r\n'}" >"$cd/start.ins"
  E2E_CD=$cd
}

# Starts the program from the CD with locale $1; $2 names the port that a
# started stub tries to claim (a COM number, or nothing). Sets START_PID.
e2e_start() {
  local locale=$1 port=${2:-}
  : >"$E2E_STUB_LOG"
  E2E_STUB_SEEN=0
  if [[ "$TARGET" == wine ]]; then
    (cd "$E2E_CD" && exec env LANG="$locale" LC_ALL="$locale" \
      START_STUB_LOG="$(e2e_winpath "$E2E_STUB_LOG")" START_STUB_PORT="${port:+COM$port}" \
      "$E2E_WINE" start.exe >"$E2E_WORK/start.out" 2>&1 </dev/null) &
  else
    local path="$E2E_WORK/bin-none"
    [[ "$E2E_VIEWER" == yes ]] && path="$E2E_WORK/bin-viewer"
    printf '#!/bin/sh\nprintf "xdg-open\\t%%s\\t1\\t%%s\\n" "$PWD" "$1" >>"$START_STUB_LOG"\n' \
      >"$E2E_WORK/bin-viewer/xdg-open"
    chmod +x "$E2E_WORK/bin-viewer/xdg-open"
    (cd "$E2E_CD" && exec env -u LC_MESSAGES LANG="$locale" LC_ALL="$locale" PATH="$path" \
      XDG_CONFIG_HOME="$E2E_WORK/config" HOME="$E2E_WORK" \
      ORBILEX_COM1="$E2E_WORK/com1" ORBILEX_COM2="$E2E_WORK/com2" \
      ORBILEX_COM3="$E2E_WORK/com3" ORBILEX_COM4="$E2E_WORK/com4" \
      START_STUB_LOG="$E2E_STUB_LOG" START_STUB_HOLD_PORT="${port:+$E2E_WORK/com$port}" \
      "$E2E_CD/start" >"$E2E_WORK/start.out" 2>&1 </dev/null) &
  fi
  START_PID=$!
}

# Waits at most $1 seconds for the program to end.
e2e_wait_end() { wait_for "$1" harness_ended "$START_PID"; }

# Ends the program if it still runs.
e2e_stop() {
  if [[ -n "$START_PID" ]]; then
    kill "$START_PID" 2>/dev/null
    wait "$START_PID" 2>/dev/null
  fi
  START_PID=""
}

# How the target names the CD path $1 (relative, with "\"): as a program
# path or directory seen by a started program.
e2e_cd_path() {
  local rel=${1//\\//}
  if [[ "$TARGET" == wine ]]; then
    e2e_winpath "$E2E_CD${rel:+/$rel}"
  else
    echo "$E2E_CD${rel:+/$rel}"
  fi
}

# The stub log's lines, lower-cased for Wine (whose paths keep no case).
e2e_stub_lines() {
  if [[ "$TARGET" == wine ]]; then
    tr '[:upper:]' '[:lower:]' <"$E2E_STUB_LOG"
  else
    cat "$E2E_STUB_LOG"
  fi
}

# Waits at most $1 seconds for a new stub line (one after those that an
# earlier wait saw) that starts with the fields given as the further
# arguments; the paths among them as e2e_cd_path gives them.
e2e_wait_stub() {
  local seconds=$1
  shift
  local want
  want=$(printf '%s\t' "$@")
  [[ "$TARGET" == wine ]] && want=$(tr '[:upper:]' '[:lower:]' <<<"$want")
  local tries=$((seconds * 20)) lines
  while ((tries-- > 0)); do
    lines=$(wc -l <"$E2E_STUB_LOG")
    if e2e_stub_lines | tail -n +$((E2E_STUB_SEEN + 1)) | awk '{print $0 "\t"}' | grep -qF -- "$want"; then
      E2E_STUB_SEEN=$lines
      return 0
    fi
    sleep 0.05
  done
  return 1
}
