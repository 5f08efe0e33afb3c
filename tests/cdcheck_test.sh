#!/usr/bin/env bash
# cdcheck on small CD trees, each a copy of the sample CD with one fault
# planted: the Linux build, and the i686 Windows build under 32-bit Wine.
# Each case names the fault, the expected exit status and a text the report
# must hold.
set -uo pipefail
SOURCE_DIR="${SOURCE_DIR:-$(cd "$(dirname "$0")/.." && pwd)}"
BUILD_DIR="${BUILD_DIR:-$SOURCE_DIR/build/linux}"
source "$SOURCE_DIR/scripts/harness.sh"
WORK=$(mktemp -d /tmp/cdcheck-test.XXXXXX)
cleanup() {
  harness_cleanup
  rm -rf "$WORK"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL [$TARGET] $*"
  failures=$((failures + 1))
}

# A fresh copy of the sample CD with the programs in place, at $1.
make_cd() {
  rm -rf "$1"
  mkdir -p "$(dirname "$1")"
  cp -r "$SOURCE_DIR/example" "$1"
  touch "$1/start.exe" "$1/start"
}
set_ins() { printf '%s' "$1" >"$CD/start.ins"; }

# Runs cdcheck of the target on directory $1 with options $2..
run_check() {
  local dir=$1
  shift
  if [[ $TARGET == linux ]]; then
    "$BUILD_DIR/cdcheck" "$@" "$dir"
  else
    "$HARNESS_WINLOADER" "$HARNESS_WINBUILD/cdcheck.exe" "$@" "Z:${dir//\//\\}" |
      tr -d '\r'
  fi
}

repeat() { printf "$1%.0s" $(seq "$2"); }
long=$(repeat a 70)
# A reader installer 314 characters deep.
plant_long_path() {
  local a b c
  a=$(repeat a 100) b=$(repeat b 100) c=$(repeat c 100)
  mkdir -p "$CD/Acrobat/$a/$b"
  touch "$CD/Acrobat/$a/$b/$c.exe"
  set_ins "[CDStart]"$'\n'"AcrobatEng=Acrobat\\$a\\$b\\$c.exe"
}
deep="$WORK/$(repeat d 40)/$(repeat e 40)/cd"
# name | status | text | what plants the fault
CASES=(
  "clean|0|no problems found|:"
  "missing updater|1|Update.Rtg.rtgupd\.exe is missing: the menu cannot start the X-ray unit's updater|rm \"\$CD/Update/Rtg/rtgupd.exe\""
  "other letter case|1|ManualE\.pdf is found only as MANUALE\.PDF|mv \"\$CD/ManualE.pdf\" \"\$CD/MANUALE.PDF\""
  "comma in a version|1|VXVersion \"2,05\" is not a well-formed number: the menu reads it as 2$|set_ins \$'[CDStart]\\r\\nCDVersion=2.1\\r\\nVXVersion=2,05\\r\\n'"
  "blank in a version|1|RTGVersion \"1.23 \" is not a well-formed number: the menu reads it as 123$|set_ins \$'[CDStart]\\nRTGVersion=\"1.23 \"\\n'"
  "defaults shown|0|AcrobatEng += Acrobat.Ar405eng\.exe +\(default\)|set_ins \$'[CDStart]\\nCDVersion=2.1\\n'"
  "unknown key|1|line 3: unknown key \"VXVersoin\" in \[CDStart\]|set_ins \$'[CDStart]\\nCDVersion=2.1\\nVXVersoin=2.0\\n'"
  "repeated key|1|line 3: \"cdversion\" is given again; line 2 counts|set_ins \$'[CDStart]\\nCDVersion=2.1\\ncdversion=2.2\\n'"
  "no keys|1|sets none of the keys|set_ins \$'[CD Start]\\nCDVersion=2.1\\n'"
  "long path from the drive root|1|D:.Acrobat.a+.b+.c+\.exe has 317 characters, more than 259: the menu will not start the English|plant_long_path"
  "long folder|1|: run from there, the menu cannot open the manual|CD=\"\$deep\"; make_cd \"\$CD\""
  "long name|1|$long: 70 characters, more than Joliet's 64|touch \"\$CD/$long\""
  "no autorun.inf|1|autorun.inf is missing|rm \"\$CD/autorun.inf\""
  "autorun opens another program|1|autorun.inf opens \"setup.exe\", not start.exe|printf '[autorun]\\r\\nopen=setup.exe\\r\\n' >\"\$CD/autorun.inf\""
  "binary start.ins|1|start.ins is not a text file|printf 'MZ\\0\\0\\1' >\"\$CD/start.ins\""
  "huge start.ins|1|start.ins has 68157440 bytes, more than the 67108864 that are read|truncate -s 65M \"\$CD/start.ins\""
)

check_target() {
  local entry name status text plant out got
  for entry in "${CASES[@]}"; do
    IFS='|' read -r name status text plant <<<"$entry"
    CD="$WORK/cd"
    make_cd "$CD"
    eval "$plant"
    out=$(run_check "$CD" 2>&1)
    got=$?
    [[ $got == "$status" ]] || fail "$name: exit status $got, wanted $status: $out"
    grep -qE -- "$text" <<<"$out" || fail "$name: the report lacks /$text/: $out"
  done

  # The JSON form: the same findings, readable by a JSON parser.
  CD="$WORK/cd"
  make_cd "$CD"
  rm "$CD/Update/fhv/fhvupd.exe"
  out=$(run_check "$CD" --json)
  python3 -c '
import json, sys
report = json.loads(sys.argv[1])
files = {f["path"]: f["state"] for f in report["files"]}
assert files["Update\\fhv\\fhvupd.exe"] == "missing", files
assert [p["kind"] for p in report["problems"]] == ["missing"], report["problems"]
assert report["values"][0] == {"key": "CDVersion", "value": "2.1", "default": False}
' "$out" || fail "--json: $out"

  # Usage errors: one line, status 2.
  out=$(run_check "$WORK/nonexistent" 2>&1)
  [[ $? == 2 && $(wc -l <<<"$out") == 1 && $out == *"is not a directory"* ]] ||
    fail "no such directory: $out"
  out=$(run_check "$CD" --frobnicate 2>&1)
  [[ $? == 2 && $out == *"unknown option --frobnicate"* ]] || fail "unknown option: $out"
}

TARGET=linux
[[ -x "$BUILD_DIR/cdcheck" ]] || { echo "FAIL: $BUILD_DIR/cdcheck is not built"; exit 1; }
check_target

TARGET=wine
if harness_windows_build "$SOURCE_DIR" && [[ -f "$HARNESS_WINBUILD/cdcheck.exe" ]]; then
  if harness_wine_prefix "$WORK/prefix"; then
    check_target
  else
    fail "could not set up the Wine prefix"
  fi
elif [[ -n ${CI:-} ]]; then
  fail "Wine or cdcheck.exe of the Windows build is missing"
else
  echo "SKIP [wine]: Wine or cdcheck.exe of the Windows build is missing"
fi
((failures == 0))
