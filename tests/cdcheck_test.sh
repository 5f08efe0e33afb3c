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
    timeout 300 "$BUILD_DIR/cdcheck" "$@" "$dir"
  else
    timeout 300 "$HARNESS_WINLOADER" "$HARNESS_WINBUILD/cdcheck.exe" "$@" "Z:${dir//\//\\}" |
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
# name | status | texts (" && " between them; "!" before one the report
# must not hold) | what plants the fault
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
  "binary start.ins|1|line 1 of start.ins holds a zero byte: the menu ends the line.s value there|printf 'MZ\\0\\0\\1' >\"\$CD/start.ins\""
  "zero byte in a value|1|line 3 of start.ins holds a zero byte|printf '[CDStart]\\r\\nCDVersion=2.1\\r\\nVXVersion=2\\0.5\\r\\n' >\"\$CD/start.ins\""
  "huge start.ins|0|CDVersion += 9\\.9\$ && start.ins has 68157426 bytes: the menu reads them all, its Linux program only the first 67108864|huge_ins"
  "utf-8 mark|1|UTF-8 byte-order mark, which the menu reads as part of the first line: it finds no .CDStart. and every value takes its default. Save start.ins without the mark, in code page 1252|set_ins \$'\\xEF\\xBB\\xBF[CDStart]\\r\\nCDVersion=2.1\\r\\n'"
  "utf-16 text|0|CDVersion += 2\\.2\$ && start.ins is UTF-16 text with its byte-order mark: the menu reads it|utf16_ins"
  "comment lines|0|no problems found|set_ins \$'[CDStart]\\n; VXVersoin=2.0 is old\\n  ;RTGVersion=1.1\\nCDVersion=2.1\\n'"
  "section line without its end|0|CDVersion += 3\\.3$|set_ins \$'[CDStart\\nCDVersion=3.3\\n'"
  "path in code page 1252|0|found +Acrobat.Lösung\\.exe$|mv \"\$CD/Acrobat/Ar405deu.exe\" \"\$CD/Acrobat/Lösung.exe\"; set_ins \$'[CDStart]\\nAcrobatGer=Acrobat\\\\L\\xf6sung.exe\\n'"
  "path in UTF-8|1|Acrobat.Lösung\\.exe is missing: the menu cannot start the German PDF-reader installer \\(start.ins holds the path in UTF-8; the menu reads it in code page 1252, as Acrobat.LÃ¶sung\\.exe|mv \"\$CD/Acrobat/Ar405deu.exe\" \"\$CD/Acrobat/Lösung.exe\"; set_ins \$'[CDStart]\\nAcrobatGer=Acrobat\\\\Lösung.exe\\n'"
  "folder links|1|^  Acrobat.$long: 70 characters && !loop.Acrobat && !mirror.$long && !up.Acrobat|touch \"\$CD/Acrobat/$long\"; ln -s Acrobat \"\$CD/mirror\"; ln -s . \"\$CD/loop\"; ln -s .. \"\$CD/Update/up\""
)

# start.ins of 65 MiB and a line: the keys come last.
huge_ins() {
  { head -c 68157400 /dev/zero | tr '\0' ' ' && printf '\n[CDStart]\nCDVersion=9.9\n\n'; } >"$CD/start.ins"
}
utf16_ins() {
  { printf '\xFE\xFF' && printf '[CDStart]\r\nCDVersion=2.2\r\n' | iconv -t UTF-16BE; } >"$CD/start.ins"
}

check_target() {
  local entry name status text plant out got pattern
  for entry in "${CASES[@]}"; do
    IFS='|' read -r name status text plant <<<"$entry"
    CD="$WORK/cd"
    make_cd "$CD"
    eval "$plant"
    out=$(run_check "$CD" 2>&1)
    got=$?
    [[ $got == "$status" ]] || fail "$name: exit status $got, wanted $status: $out"
    while [[ -n $text ]]; do
      pattern=${text%% && *}
      if [[ $pattern == !* ]]; then
        grep -qE -- "${pattern#!}" <<<"$out" && fail "$name: the report has /${pattern#!}/: $out"
      else
        grep -qE -- "$pattern" <<<"$out" || fail "$name: the report lacks /$pattern/: $out"
      fi
      [[ $text == *" && "* ]] && text=${text#* && } || text=""
    done
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

  # Names in UTF-8, in code page 1252 and in no encoding: the output is UTF-8
  # in both forms, each name as the menu reads it. Windows knows names in
  # Unicode only: the Windows build gets them in UTF-8 (Wine reads the
  # other bytes of a Linux name in its own way).
  CD="$WORK/cd-ä"
  capital=Ö
  if [[ $TARGET == linux ]]; then
    CD="$WORK/cd-"$'\xe4'
    capital=$'\xd6'
  fi
  make_cd "$CD"
  mv "$CD/Acrobat/Ar405deu.exe" "$CD/Acrobat/L${capital}SUNG.EXE"
  touch "$CD/$(repeat ä 70)"
  [[ $TARGET == linux ]] && touch "$CD/$(repeat $'\xe9' 70)"
  set_ins $'[CDStart]\r\nCDVersion=2.1\r\nAcrobatGer=Acrobat\\L\xf6sung.exe\r\nGr\xf6\xdfe=1\r\n'
  run_check "$CD" --json >"$WORK/names.json"
  run_check "$CD" >"$WORK/names.txt"
  python3 - "$WORK/names.json" "$WORK/names.txt" "$TARGET" <<'EOF' || fail "names: $(cat "$WORK/names.json")"
import json, sys
report = json.loads(open(sys.argv[1], "rb").read().decode("utf-8"))
text = open(sys.argv[2], "rb").read().decode("utf-8")
assert report["root"].endswith("cd-ä"), report["root"]
files = {f["path"]: f for f in report["files"]}
reader = files["Acrobat\\Lösung.exe"]
assert reader["state"] == "other-case" and reader["actual"] == "Acrobat\\LÖSUNG.EXE", reader
problems = [p["text"] for p in report["problems"]]
wants = ['line 4: unknown key "Größe" in [CDStart]', "ä" * 70 + ": 70 characters",
         "Acrobat\\Lösung.exe is found only as Acrobat\\LÖSUNG.EXE"]
if sys.argv[3] == "linux":
    wants.append("é" * 70 + ": 70 characters")
for want in wants:
    assert any(p.startswith(want) for p in problems), (want, problems)
    assert want in text, (want, text)
assert "cd-ä" in text and "Lösung.exe" in text, text
EOF

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

# Folders that the user running cdcheck cannot read (root reads them all):
# each is a problem. A copy of the program and the CD where that user can
# reach them.
OTHER=$(mktemp -d /tmp/cdcheck-other.XXXXXX)
trap 'cleanup; rm -rf "$OTHER"' EXIT
chmod 755 "$OTHER"
cp "$BUILD_DIR/cdcheck" "$OTHER/cdcheck"
make_cd "$OTHER/cd"
mkdir "$OTHER/cd/extras"
chmod 700 "$OTHER/cd/extras" "$OTHER/cd/Update/Rtg"
out=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$OTHER/cdcheck" "$OTHER/cd" 2>&1)
[[ $? == 1 && $out == *"the folder extras cannot be read"* &&
  $out == *"the folder Update\Rtg cannot be read"* ]] || fail "unreadable folders: $out"

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
