#!/usr/bin/env bash
# velkrun-tree --symbols over a copy of a header tree, beside grep counting the conditional lines
# of the same files:
#   A  velkrun-tree --symbols -j 2 -- COPY
#   B  grep -rcE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif)' COPY
#   C  as A, with the velkrun-tree of BEFORE (only when BEFORE is set)
# in one interleaved run (A, B, [C,] A, B, ...). Prints elapsed and CPU seconds of each run, the best and
# the median of each, the ratio A/B of the medians, and the ten names tested in the most files.
#
# usage: bench/symbols_bench.sh [--rounds N] [--smoke]
# env:   SRC  tree to copy (default /usr/include);  BENCH_DIR  where the copy goes
#        (default build/bench-symbols);  VELK_BUILD  build folder (default build/release, built
#        here when missing);  BEFORE  a build folder of an earlier velkrun-tree (optional)
# --smoke: one round over /usr/include/linux/netfilter; only checks that both commands run.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=5
dir_default=build/bench-symbols
# shellcheck source=bench/tree_copy.sh
source bench/tree_copy.sh

echo "tree: $src ($(du -sm "$dir/copy" | cut -f1) MB), $rounds round(s)"
for ((r = 1; r <= rounds; r++)); do
  echo "round $r"
  timed symbols "$tree_tool" --symbols -j 2 -- "$dir/copy"
  timed grep grep -rcE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif)' "$dir/copy"
  if [ -n "${BEFORE:-}" ]; then timed before "$BEFORE/src/tree/velkrun-tree" --symbols -j 2 -- "$dir/copy"; fi
done
tail -n 1 "$dir/symbols.err"

if [ -n "${BEFORE:-}" ]; then stat_table symbols grep before; else stat_table symbols grep; fi
read -r _ sm <<<"$(stat symbols 1)"
read -r _ gm <<<"$(stat grep 1)"
awk -v s="$sm" -v g="$gm" 'BEGIN { printf "\nvelkrun-tree --symbols -j 2 / grep -rcE (median elapsed): %.2f\n", s / g }'
if [ -n "${BEFORE:-}" ]; then
  read -r _ bm <<<"$(stat before 1)"
  awk -v b="$bm" -v g="$gm" 'BEGIN { printf "before: velkrun-tree --symbols -j 2 / grep -rcE (median elapsed): %.2f\n", b / g }'
fi
echo
echo "names tested in the most files (NAME FILES LINES DEFINES SETTLED):"
head -n 10 "$dir/symbols.out"
rm -rf "$dir/copy"
