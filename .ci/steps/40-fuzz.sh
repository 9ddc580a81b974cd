#!/usr/bin/env bash
# Builds the fuzz targets with clang (preset "fuzz": libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for a bounded time, seeded from the end-to-end inputs
# and the saved inputs. Any finding (crash, sanitizer report, failed check, leak, timeout) fails
# the step; its input is left under build/fuzz/runs/ to be saved as fuzz/regressions/<target>/.
set -euo pipefail
seconds=${VELK_FUZZ_SECONDS:-20}
cmake --preset fuzz -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build --preset fuzz

runs=$PWD/build/fuzz/runs
rm -rf "$runs"
mkdir -p "$runs"
python3 fuzz/make_seeds.py tests/e2e "$runs/seeds"

failed=()
for bin in build/fuzz/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  target=${bin##*/}
  corpus=$runs/corpus/$target
  mkdir -p "$corpus"
  dirs=("$corpus")
  for d in "$runs/seeds/$target" "$PWD/fuzz/seeds/$target" "$PWD/fuzz/regressions/$target"; do
    [ -d "$d" ] && dirs+=("$d")
  done
  log=$runs/$target.log
  # -close_fd_mask=1 keeps the target's standard output out of the log; libFuzzer and the
  # sanitizers still report on standard error.
  if "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$runs/$target-" "${dirs[@]}" \
      >"$log" 2>&1; then
    result=ok
  else
    result=FINDING
    failed+=("$target")
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$target: ${execs:-?} executions in ${seconds} s, corpus $(ls "$corpus" | wc -l) new inputs: $result"
  if [ "$result" != ok ]; then
    grep -E -A30 '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|.*disagrees|.*deadly signal)' "$log" | head -60 || tail -40 "$log"
    ls "$runs/$target-"* 2>/dev/null || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz findings in: ${failed[*]}"
  exit 1
fi
