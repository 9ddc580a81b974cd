#!/usr/bin/env bash
# A real in-place rewrite of a Debian source tree by velkrun-tree, beside unifdef run once over
# the same files with the same lists:
#   A  velkrun-tree -j 2 -x LISTS -- COPY_A
#   B  unifdef -m LISTS FILES...            (in COPY_B; through xargs when the line is too long)
#   C  as B, started again after the file it stopped at, until every file is read (COPY_C)
# in one interleaved run (A, B, C, A, B, C, ...), each round on fresh copies of the tree made and
# read into the page cache before the timing. FILES are exactly the files velkrun-tree takes: the
# default extensions, regular files only (no symbolic links), a file with several hard links once.
# unifdef -m stops at the first file it cannot read and leaves the files after it as they are, so
# B alone may have done far less work than A; C is the run that reads the whole tree.
# Prints elapsed and CPU seconds (user + system, children included) of each run, the best and
# median of each, the ratios A/B and A/C of the medians, and per command the files changed,
# refused or failed, and how many files A and C leave with the same bytes.
#
# usage: bench/tree_rewrite.sh [--rounds N] [--smoke] [--no-x]
# env:   PACKAGES   the Debian source package to fetch and rewrite (default openssl; one name)
#        SRC        a tree to rewrite instead (its lists: LISTS, default openssl)
#        LISTS      the goal lists of bench/real_trees.py to use, NAME[:GOAL] (default: the
#                   package, goal 1; openssl:2 is the 32-bit Windows build)
#        BENCH_DIR  where the copies go (default build/bench-rewrite); the fetched sources stay
#                   in REAL_DIR (default build/real-trees), as for bench/real_trees.sh
#        VELK_BUILD build folder (default build/release, built here when missing)
# --no-x:  velkrun-tree without -x (its lists without values; it refuses what it cannot read)
# --smoke: one round over /usr/include/linux/netfilter; only checks that every command runs.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=5
dir_default=build/bench-rewrite
xmode=1
smoke=0
rest=()
for a in "$@"; do
  case $a in
    --no-x) xmode=0 ;;
    --smoke) smoke=1; rest+=("$a") ;;
    *) rest+=("$a") ;;
  esac
done
set -- ${rest[@]+"${rest[@]}"}
package=${PACKAGES:-openssl}
if [ -z "${SRC:-}" ] && [ "$smoke" = 0 ]; then
  packages=("$package")
  dir=${REAL_DIR:-build/real-trees}
  # shellcheck source=bench/real_fetch.sh
  source bench/real_fetch.sh
  SRC=${trees[0]#*=}
fi
# shellcheck source=bench/tree_copy.sh
source bench/tree_copy.sh
command -v unifdef >/dev/null || { echo "unifdef is not installed" >&2; exit 2; }

lists=${LISTS:-$package}
mapfile -t goal < <(python3 bench/real_trees.py --lists "$lists")
[ ${#goal[@]} = 4 ] || exit 2
if [ "$xmode" = 1 ]; then
  IFS=$'\t' read -r -a vopts <<<"${goal[2]}"
else
  IFS=$'\t' read -r -a vopts <<<"${goal[1]}"
fi
IFS=$'\t' read -r -a uopts <<<"${goal[3]}"

# The files velkrun-tree takes, relative to the top of a copy, in its sorted order; a file
# reached through several hard links once, under its first name.
(cd "$dir/copy" && find . -type f \( -name '*.c' -o -name '*.h' -o -name '*.cc' -o -name '*.cpp' \
  -o -name '*.cxx' -o -name '*.hh' -o -name '*.hpp' -o -name '*.hxx' \) -printf '%p\t%D:%i\n') |
  LC_ALL=C sort | awk -F'\t' '!seen[$2]++ { print $1 }' >"$dir/files"
mapfile -t files <"$dir/files"
count=${#files[@]}
if grep -q "$(printf '\t')" "$dir/files"; then
  echo "file names with tabs or line ends are not supported here" >&2
  exit 2
fi

# One command line holds the files when they fit in ARG_MAX beside the environment, with the
# 2048 bytes of headroom POSIX asks xargs to keep.
arg_bytes=$(printf '%s\n' unifdef -m "${uopts[@]}" "${files[@]}" | wc -c)
room=$(($(getconf ARG_MAX) - $(env | wc -c) - 2048))
use_xargs=0
if [ "$arg_bytes" -gt "$room" ]; then
  use_xargs=1
  tr '\n' '\0' <"$dir/files" >"$dir/files0"
fi

# unifdef_resumed LISTFILE ERRFILE UNIFDEF_OPTIONS...: unifdef -m over the files of LISTFILE,
# started again on the files after the one named in its error message each time it stops with
# status 2; ERRFILE holds the messages of one run. Ends with the status of its last run.
unifdef_resumed() {
  local -a f
  mapfile -t f <"$1"
  local err=$2
  shift 2
  local start=0 st i line name
  while :; do
    st=0
    unifdef -m "$@" "${f[@]:start}" 2>"$err" || st=$?
    cat "$err" >&2
    if [ "$st" != 2 ]; then
      return "$st"
    fi
    name=
    while IFS= read -r line; do
      case $line in
        "unifdef: "*": "[0-9]*": "*) line=${line#unifdef: }; name=${line%%: [0-9]*} ;;
      esac
    done <"$err"
    for ((i = start; i < ${#f[@]}; i++)); do
      if [ "${f[i]}" = "$name" ]; then
        break
      fi
    done
    if [ "$i" -ge $((${#f[@]} - 1)) ]; then
      return "$st"
    fi
    start=$((i + 1))
  done
}

# changed NAME: files of the copy NAME that differ from the original
changed() { (cd "$dir" && diff -rq copy "$1" | wc -l); }
# messages NAME: unifdef's messages about a file, "unifdef: FILE: LINE: ..."
messages() { grep -cE '^unifdef: .*: [0-9]+: ' "$dir/$1.err" || true; }

echo "tree: $src ($count files, $(du -sm "$dir/copy" | cut -f1) MB), $rounds round(s)"
echo "lists ($lists): ${goal[0]}"
echo "  velkrun-tree -j 2 ${vopts[*]}"
echo "  unifdef -m ${uopts[*]}"
if [ "$use_xargs" = 1 ]; then
  echo "  $arg_bytes bytes of arguments do not fit in one command line ($room): unifdef runs" \
    "through xargs, and C is left out"
else
  echo "  one command line of $arg_bytes bytes holds every file"
fi
echo "load before: $(uptime)"
for ((r = 1; r <= rounds; r++)); do
  echo "round $r"
  fresh_copy a
  fresh_copy b
  timed velkrun-tree "$tree_tool" -j 2 "${vopts[@]}" -- "$dir/a"
  if [ "$use_xargs" = 1 ]; then
    (cd "$dir/b" && timed unifdef xargs -0 unifdef -m "${uopts[@]}" <"$dir/files0")
  else
    (cd "$dir/b" && timed unifdef unifdef -m "${uopts[@]}" "${files[@]}")
  fi
  if [ "$use_xargs" = 0 ]; then
    fresh_copy c
    (cd "$dir/c" && timed unifdef-resumed bash -c "$(declare -f unifdef_resumed); unifdef_resumed \"\$@\"" \
      _ "$dir/files" "$dir/resumed.err" "${uopts[@]}")
  fi
done
echo "load after: $(uptime)"

# What each did in the last round: velkrun-tree's summary, unifdef's status and messages, and
# the files that differ from the original.
echo
echo "velkrun-tree: $(tail -n 1 "$dir/velkrun-tree.out" | sed 's/^velkrun-tree: //'), status" \
  "$(tail -n 1 "$dir/velkrun-tree.status"); $(changed a) files differ from the original"
ust=$(tail -n 1 "$dir/unifdef.status")
echo "unifdef: status $ust, $(messages unifdef) file(s) refused; $(changed b) files differ from the original"
if [ "$use_xargs" = 0 ] && [ "$ust" = 2 ]; then
  line=$(grep -E '^unifdef: .*: [0-9]+: ' "$dir/unifdef.err" | tail -n 1 | sed 's/^unifdef: //' || true)
  stop=${line%%: [0-9]*}
  at=$(grep -nxF -- "$stop" "$dir/files" | head -n 1 | cut -d: -f1)
  echo "  it stopped at file ${at:-?} of $count ($stop) and left the $((count - ${at:-0})) after it unread"
fi
if [ "$use_xargs" = 0 ]; then
  echo "unifdef resumed: status $(tail -n 1 "$dir/unifdef-resumed.status"), $(messages unifdef-resumed)" \
    "file(s) refused; $(changed c) files differ from the original;" \
    "$( (cd "$dir" && diff -rq a c | wc -l))" "files differ from velkrun-tree's"
  grep -E '^unifdef: .*: [0-9]+: ' "$dir/unifdef-resumed.err" | sed 's/^/    /' | head -n 20 || true
fi

if [ "$use_xargs" = 0 ]; then
  stat_table velkrun-tree unifdef unifdef-resumed
else
  stat_table velkrun-tree unifdef
fi
read -r _ am <<<"$(stat velkrun-tree 1)"
read -r _ acm <<<"$(stat velkrun-tree 2)"
read -r _ bm <<<"$(stat unifdef 1)"
read -r _ bcm <<<"$(stat unifdef 2)"
echo
# The smoke run's times may round to nothing.
awk -v a="$am" -v b="$bm" -v ac="$acm" -v bc="$bcm" 'BEGIN {
  if (b == 0 || bc == 0) { exit }
  printf "velkrun-tree / unifdef once (medians): %.2f elapsed, %.2f cpu\n", a / b, ac / bc }'
if [ "$use_xargs" = 0 ]; then
  read -r _ cm <<<"$(stat unifdef-resumed 1)"
  read -r _ ccm <<<"$(stat unifdef-resumed 2)"
  awk -v a="$am" -v c="$cm" -v ac="$acm" -v cc="$ccm" 'BEGIN {
    if (c == 0 || cc == 0) { exit }
    printf "velkrun-tree / unifdef resumed to the end (medians): %.2f elapsed, %.2f cpu\n", a / c, ac / cc }'
fi
rm -rf "$dir/copy" "$dir/a" "$dir/b" "$dir/c"
