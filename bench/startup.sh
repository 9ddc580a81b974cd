#!/usr/bin/env bash
# Start-up cost of velkrun: a run on an empty file beside a statically linked program that does
# nothing (`int main(){return 0;}`), the two taking turns, ROUNDS runs each. Prints the fastest,
# first-quartile and median wall time of one run and their ratios to the no-op. On a shared
# machine the fastest runs are the steadiest figure.
#
# usage: bench/startup.sh
# env:   VELK_BIN  velkrun to measure (default: the Release build, built here when missing)
#        ROUNDS    runs of each program (default 400)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${ROUNDS:-400}

# shellcheck source=bench/bench_bin.sh
source "$root/bench/bench_bin.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

printf 'int main(void) { return 0; }\n' >"$scratch/noop.c"
if ! ${CC:-cc} -O2 -static "$scratch/noop.c" -o "$scratch/noop" 2>"$scratch/err"; then
  echo "cannot link a static no-op program here:" >&2
  cat "$scratch/err" >&2
  exit 1
fi
${CXX:-c++} -O2 -std=c++17 -static "$root/bench/spawn_timer.cpp" -o "$scratch/timer"
: >"$scratch/empty.c"

linkage=$(file -b "$bin" | grep -o 'statically linked\|dynamically linked' || echo '?')
"$scratch/timer" "$rounds" "$scratch/noop" -- "$bin" -lA DEBUG "$scratch/empty.c" >"$scratch/t"
printf '\nstart-up, %d runs each (wall time of one run, microseconds)\n' "$rounds"
printf '%-32s %8s %8s %8s\n' "program" "fastest" "p25" "median"
{ read -r n0 n1 n2; read -r v0 v1 v2; } <"$scratch/t"
printf '%-32s %8d %8d %8d\n' "static no-op" "$n0" "$n1" "$n2"
printf '%-32s %8d %8d %8d\n' "velkrun, empty file" "$v0" "$v1" "$v2"
awk -v a="$v0" -v b="$n0" -v c="$v1" -v d="$n1" -v e="$v2" -v f="$n2" -v l="$linkage" 'BEGIN {
  printf "%-32s %8.2f %8.2f %8.2f   (velkrun %s)\n", "ratio to the no-op", a / b, c / d, e / f, l }'
