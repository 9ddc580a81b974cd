#!/usr/bin/env bash
# velkrun-tree over a copy of a header tree, beside the plainest way to run velkrun on every file:
#   A  velkrun-tree --dry-run -j 2 OPTIONS -- COPY                (compares, writes nothing)
#   B  find COPY ... -print0 | xargs -0 -P2 -n1 velkrun OPTIONS   (spawns velkrun per file only)
#   C  velkrun-tree -j 2 OPTIONS -- COPY2                         (the real rewrite of a fresh copy)
#   D  as A, with the velkrun-tree of BEFORE (only when BEFORE is set)
# in one interleaved run (A, B, C, [D,] A, B, C, ...), so that other work on the machine weighs on
# all alike. Prints elapsed and CPU seconds (user + system, children included) of each run, the
# best and the median of each command, and the ratios A/B and C/A (and D/B) of the medians.
# velkrun-tree runs its own workers; the earlier one of BEFORE starts BEFORE's velkrun per file.
#
# usage: bench/tree_bench.sh [--rounds N] [--smoke]
# env:   SRC        tree to copy (default /usr/include);  BENCH_DIR  where the copies go
#                   (default build/bench-tree);  OPTIONS  velkrun options (default "-lA DEBUG")
#        VELK_BUILD build folder holding src/cli/velkrun and src/tree/velkrun-tree
#                   (default build/release, built here when missing)
#        BEFORE     a build folder of an earlier velkrun-tree to measure beside (optional)
# --smoke: one round over /usr/include/linux/netfilter; only checks that every command runs.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=3
dir_default=build/bench-tree
# shellcheck source=bench/tree_copy.sh
source bench/tree_copy.sh
read -r -a opts <<<"${OPTIONS:--lA DEBUG}"
unset VELKRUN
before=${BEFORE:+$(realpath "$BEFORE")}

# Exactly the files velkrun-tree takes: the default extensions, no symbolic links.
find_xargs() {
  find "$1" -type f \( -name '*.c' -o -name '*.h' -o -name '*.cc' -o -name '*.cpp' -o -name '*.cxx' \
    -o -name '*.hh' -o -name '*.hpp' -o -name '*.hxx' \) -print0 |
    xargs -0 -P2 -n1 "$velkrun" "${opts[@]}" >/dev/null 2>&1 || true
}
dry_run() { "$tree_tool" --dry-run -j 2 "${opts[@]}" -- "$1" >"$dir/dry.out" 2>/dev/null || true; }
rewrite() { "$tree_tool" -j 2 "${opts[@]}" -- "$1" >"$dir/rewrite.out" 2>/dev/null || true; }
dry_before() {
  VELKRUN=$before/src/cli/velkrun "$before/src/tree/velkrun-tree" --dry-run -j 2 "${opts[@]}" -- "$1" \
    >"$dir/dry-before.out" 2>/dev/null || true
}

# timed NAME FUNCTION ARG: appends "elapsed cpu" to $dir/NAME.times
timed() {
  local name=$1
  shift
  /usr/bin/time -f '%e %U %S' -o "$dir/time" bash -c "$(declare -f find_xargs dry_run rewrite dry_before);
    velkrun=$velkrun tree_tool=$tree_tool before=$before dir=$dir opts=(${opts[*]}); $*"
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$dir/time" >>"$dir/$name.times"
  printf '  %-12s %s\n' "$name" "$(tail -n 1 "$dir/$name.times" | awk '{ printf "%7.2f s elapsed %7.2f s cpu", $1, $2 }')"
}

files=$(find "$dir/copy" -type f \( -name '*.c' -o -name '*.h' -o -name '*.cc' -o -name '*.cpp' -o -name '*.cxx' \
  -o -name '*.hh' -o -name '*.hpp' -o -name '*.hxx' \) | wc -l)
echo "tree: $src ($files files, $(du -sm "$dir/copy" | cut -f1) MB), velkrun options: ${opts[*]}, $rounds round(s)"
for ((r = 1; r <= rounds; r++)); do
  echo "round $r"
  fresh_copy copy2
  timed dry-run dry_run "$dir/copy"
  timed find-xargs find_xargs "$dir/copy"
  timed rewrite rewrite "$dir/copy2"
  if [ -n "$before" ]; then timed dry-before dry_before "$dir/copy"; fi
done
tail -n 1 "$dir/dry.out"
tail -n 1 "$dir/rewrite.out"

if [ -n "$before" ]; then
  stat_table dry-run find-xargs rewrite dry-before
  read -r _ bm <<<"$(stat dry-before 1)"
else
  stat_table dry-run find-xargs rewrite
fi
read -r _ dm <<<"$(stat dry-run 1)"
read -r _ fm <<<"$(stat find-xargs 1)"
read -r _ rm_ <<<"$(stat rewrite 1)"
awk -v d="$dm" -v f="$fm" -v r="$rm_" 'BEGIN {
  printf "\nvelkrun-tree --dry-run -j 2 / find | xargs -P2 (median elapsed): %.2f\n", d / f
  printf "velkrun-tree rewrite / --dry-run (median elapsed): %.2f\n", r / d }'
if [ -n "$before" ]; then
  awk -v b="$bm" -v f="$fm" 'BEGIN {
    printf "before: velkrun-tree --dry-run -j 2 / find | xargs -P2 (median elapsed): %.2f\n", b / f }'
fi
rm -rf "$dir/copy" "$dir/copy2"
