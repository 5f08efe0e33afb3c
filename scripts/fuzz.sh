#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds
# on a fresh copy of its starting corpus in build/fuzz/corpus-run/. Fails on any
# crash, hang, leak or sanitizer report; the failing input is kept as
# build/fuzz/crash-<target>-*.
# Usage: scripts/fuzz.sh [seconds-per-target]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build/fuzz

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

failed=()
for target in textversion profile replies sequence; do
  run=$build/corpus-run/$target
  rm -rf "$run"
  mkdir -p "$run"
  cp fuzz/corpus/$target/* "$run/"
  dict=()
  case $target in
    profile) dict=(-dict=fuzz/profile.dict) ;;
    replies | sequence) dict=(-dict=fuzz/devices.dict) ;;
  esac
  log=$build/$target.log
  echo "== fuzz $target for ${seconds}s"
  if "$build/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$build/crash-$target-" "${dict[@]}" "$run" >"$log" 2>&1 &&
      ! grep -qE "runtime error:|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)" "$log"; then
    grep -E "^stat::number_of_executed_units|^Done" "$log" || true
  else
    echo "fuzz $target failed; log: $log"
    tail -n 40 "$log"
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzzing found problems in: ${failed[*]}"
  exit 1
fi
echo "fuzzing found no problems"
