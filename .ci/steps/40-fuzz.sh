#!/usr/bin/env bash
# Builds the fuzz targets with clang (preset "fuzz": libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each over a fixed number of inputs drawn from a fixed seed,
# seeded from the end-to-end inputs and the saved inputs. A build thus fuzzes the same inputs on
# every run (a checkout at another path may draw others: its paths end up in the binary and shift
# the addresses), and a verdict does not depend on how fast or busy the machine is. Two things
# would make runs differ: the comparisons libFuzzer learns from include values derived from
# addresses (address randomisation is turned off for the run), and its once-a-second rereading of
# the corpus directory, which runs inputs again at moments set by the clock (-reload=0). Any
# finding (crash, sanitizer report, failed check, leak, timeout) fails the step; its input is left
# under build/fuzz/runs/ to be saved as fuzz/regressions/<target>/.
#
# To look for new findings rather than check the known ones: VELK_FUZZ_SEED=0 draws a new seed,
# VELK_FUZZ_SECONDS=N runs each target for N seconds instead of its count.
set -euo pipefail
seed=${VELK_FUZZ_SEED:-1}
seconds=${VELK_FUZZ_SECONDS:-}
# Inputs per target: about 20 s each on the 2-core CI machines. A target that takes more than
# the cap on a much slower machine stops there.
declare -A runs_of=(
  [fuzz_cond_eval]=290000 [fuzz_err_edit]=2800000 [fuzz_filter]=5000 [fuzz_match]=1700000
  [fuzz_namelist]=70000 [fuzz_names]=50000 [fuzz_xexpr]=1000000
)
cap=120
# setarch is in util-linux; a container that forbids the personality call runs with randomisation.
fixed=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  fixed=(setarch "$(uname -m)" -R)
else
  echo "address randomisation stays on: the drawn inputs may differ from run to run"
fi

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
  start=$SECONDS
  # -close_fd_mask=1 keeps the target's standard output out of the log; libFuzzer and the
  # sanitizers still report on standard error.
  if [ -n "$seconds" ]; then
    bound=(-max_total_time="$seconds")
  elif [ -n "${runs_of[$target]:-}" ]; then
    bound=(-runs="${runs_of[$target]}" -max_total_time="$cap")
  else
    echo "$target: no input count in $0" >&2
    exit 1
  fi
  if "${fixed[@]}" "$bin" "${bound[@]}" -seed="$seed" -reload=0 -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$runs/$target-" "${dirs[@]}" \
      >"$log" 2>&1; then
    result=ok
  else
    result=FINDING
    failed+=("$target")
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$target: ${execs:-?} executions in $((SECONDS - start)) s (seed $seed), corpus $(ls "$corpus" | wc -l) new inputs: $result"
  if [ "$result" != ok ]; then
    grep -E -A30 '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|.*disagrees|.*deadly signal)' "$log" | head -60 || tail -40 "$log"
    ls "$runs/$target-"* 2>/dev/null || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz findings in: ${failed[*]}"
  exit 1
fi
