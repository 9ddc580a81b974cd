#!/usr/bin/env bash
# velkrun-tree over a copy of a header tree, beside the plainest way to run velkrun on every file:
#   A  velkrun-tree --dry-run -j 2 OPTIONS -- COPY                (compares, writes nothing)
#   B  find COPY ... -print0 | xargs -0 -P2 -n1 velkrun OPTIONS   (spawns velkrun per file only)
#   C  velkrun-tree -j 2 OPTIONS -- COPY2                         (the real rewrite of a fresh copy)
# in one interleaved run (A, B, C, A, B, C, ...), so that other work on the machine weighs on all
# three alike. Prints elapsed and CPU seconds (user + system, children included) of each run, the
# best and the median of each command, and the ratios A/B and C/A of the medians.
#
# usage: bench/tree_bench.sh [--rounds N] [--smoke]
# env:   SRC        tree to copy (default /usr/include);  BENCH_DIR  where the copies go
#                   (default build/bench-tree);  OPTIONS  velkrun options (default "-lA DEBUG")
#        VELK_BUILD build folder holding src/cli/velkrun and src/tree/velkrun-tree
#                   (default build/release, built here when missing)
# --smoke: one round over /usr/include/linux/netfilter; only checks that every command runs.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=3
dir_default=build/bench-tree
# shellcheck source=bench/tree_copy.sh
source bench/tree_copy.sh
read -r -a opts <<<"${OPTIONS:--lA DEBUG}"
cat_all() { find "$1" -type f -exec cat {} + >/dev/null; }
export VELKRUN=$velkrun

# Exactly the files velkrun-tree takes: the default extensions, no symbolic links.
find_xargs() {
  find "$1" -type f \( -name '*.c' -o -name '*.h' -o -name '*.cc' -o -name '*.cpp' -o -name '*.cxx' \
    -o -name '*.hh' -o -name '*.hpp' -o -name '*.hxx' \) -print0 |
    xargs -0 -P2 -n1 "$velkrun" "${opts[@]}" >/dev/null 2>&1 || true
}
dry_run() { "$tree_tool" --dry-run -j 2 "${opts[@]}" -- "$1" >"$dir/dry.out" 2>/dev/null || true; }
rewrite() { "$tree_tool" -j 2 "${opts[@]}" -- "$1" >"$dir/rewrite.out" 2>/dev/null || true; }

# timed NAME FUNCTION ARG: appends "elapsed cpu" to $dir/NAME.times
timed() {
  local name=$1
  shift
  /usr/bin/time -f '%e %U %S' -o "$dir/time" bash -c "$(declare -f find_xargs dry_run rewrite);
    velkrun=$velkrun tree_tool=$tree_tool dir=$dir opts=(${opts[*]}); $*"
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$dir/time" >>"$dir/$name.times"
  printf '  %-12s %s\n' "$name" "$(tail -n 1 "$dir/$name.times" | awk '{ printf "%7.2f s elapsed %7.2f s cpu", $1, $2 }')"
}

files=$(find "$dir/copy" -type f \( -name '*.c' -o -name '*.h' -o -name '*.cc' -o -name '*.cpp' -o -name '*.cxx' \
  -o -name '*.hh' -o -name '*.hpp' -o -name '*.hxx' \) | wc -l)
echo "tree: $src ($files files, $(du -sm "$dir/copy" | cut -f1) MB), velkrun options: ${opts[*]}, $rounds round(s)"
for ((r = 1; r <= rounds; r++)); do
  echo "round $r"
  rm -rf "$dir/copy2"
  cp -a "$dir/copy" "$dir/copy2"
  cat_all "$dir/copy2"
  timed dry-run dry_run "$dir/copy"
  timed find-xargs find_xargs "$dir/copy"
  timed rewrite rewrite "$dir/copy2"
done
tail -n 1 "$dir/dry.out"
tail -n 1 "$dir/rewrite.out"

stat_table dry-run find-xargs rewrite
read -r _ dm <<<"$(stat dry-run 1)"
read -r _ fm <<<"$(stat find-xargs 1)"
read -r _ rm_ <<<"$(stat rewrite 1)"
awk -v d="$dm" -v f="$fm" -v r="$rm_" 'BEGIN {
  printf "\nvelkrun-tree --dry-run -j 2 / find | xargs -P2 (median elapsed): %.2f\n", d / f
  printf "velkrun-tree rewrite / --dry-run (median elapsed): %.2f\n", r / d }'
rm -rf "$dir/copy" "$dir/copy2"
