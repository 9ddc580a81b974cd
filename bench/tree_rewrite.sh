#!/usr/bin/env bash
# A real in-place rewrite of a Debian source tree by velkrun-tree, beside unifdef run once over
# the same files with the same lists:
#   A  velkrun-tree -j 2 -x LISTS -- COPY
#   B  unifdef -m LISTS FILES...            (through xargs when the line would be too long)
#   C  as B, started again after the file it stopped at, until every file is read
#   D  unifdef -m LISTS READABLE...         (FILES without those unifdef refuses)
# in one interleaved run (A, B, C, D, A, B, C, D, ...), each run on a fresh copy of the tree made
# and read into the page cache before the timing. FILES are exactly the files velkrun-tree takes:
# the default extensions, regular files only (no symbolic links), a file with several hard links
# once. unifdef -m stops at the first file it cannot read and leaves the files after it as they
# are, so B may have done far less work than A; C reads every file, and D is one unifdef run over
# every file it can read (found by running it on each file alone before the rounds).
# Prints elapsed and CPU seconds (user + system, children included) of each run, the best and
# median of each, the ratios of the medians of A to the others, and per command the files
# changed, refused or failed, and how many files A and D leave with different bytes.
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
# C is left out when FILES do not fit in one command line.
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
room=$(($(getconf ARG_MAX) - $(env | wc -c) - 2048))
fits() { [ "$(printf '%s\n' unifdef -m "${uopts[@]}" "$@" | wc -c)" -le "$room" ]; }

# The files unifdef refuses, each run alone, outside the timing.
fresh_copy probe
(cd "$dir/probe" && for f in "${files[@]}"; do
  st=0
  unifdef "${uopts[@]}" "$f" >/dev/null 2>&1 || st=$?
  if [ "$st" -ge 2 ]; then printf '%s\n' "$f"; fi
done) >"$dir/refused"
rm -rf "$dir/probe"
grep -vxF -f "$dir/refused" "$dir/files" >"$dir/readable" || true
mapfile -t readable <"$dir/readable"
tr '\n' '\0' <"$dir/files" >"$dir/files0"
tr '\n' '\0' <"$dir/readable" >"$dir/readable0"

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

# unifdef_over NAME LISTFILE0 FILE...: times unifdef -m over the FILEs in the copy NAME, through
# xargs (reading LISTFILE0) when they do not fit in one command line
unifdef_over() {
  local name=$1 list0=$2
  shift 2
  fresh_copy "$name"
  if fits "$@"; then
    (cd "$dir/$name" && timed "$name" unifdef -m "${uopts[@]}" "$@")
  else
    (cd "$dir/$name" && timed "$name" xargs -0 unifdef -m "${uopts[@]}" <"$list0")
  fi
}

# changed NAME: files of the copy NAME that differ from the original
changed() { (cd "$dir" && diff -rq copy "$1" | wc -l); }
# messages NAME: unifdef's messages about a file, "unifdef: FILE: LINE: ..."
messages() { grep -cE '^unifdef: .*: [0-9]+: ' "$dir/$1.err" || true; }
# how NAME FILE...: how unifdef runs over the FILEs
how() {
  if fits "${@:2}"; then
    echo "  $1: one command line"
  else
    echo "  $1: through xargs, as one command line would be too long"
  fi
}

resume=1
fits "${files[@]}" || resume=0
commands=(velkrun-tree unifdef)
if [ "$resume" = 1 ]; then commands+=(unifdef-resumed); fi
commands+=(unifdef-readable)

echo "tree: $src ($count files, $(du -sm "$dir/copy" | cut -f1) MB), $rounds round(s)"
echo "lists ($lists): ${goal[0]}"
echo "  velkrun-tree -j 2 ${vopts[*]}"
echo "  unifdef -m ${uopts[*]}"
how "unifdef over all $count files" "${files[@]}"
how "unifdef over the ${#readable[@]} it reads" "${readable[@]}"
if [ "$resume" = 0 ]; then echo "  unifdef-resumed left out: it needs one command line"; fi
echo "load before: $(uptime)"
for ((r = 1; r <= rounds; r++)); do
  echo "round $r"
  fresh_copy velkrun-tree
  timed velkrun-tree "$tree_tool" -j 2 "${vopts[@]}" -- "$dir/velkrun-tree"
  unifdef_over unifdef "$dir/files0" "${files[@]}"
  if [ "$resume" = 1 ]; then
    fresh_copy unifdef-resumed
    (cd "$dir/unifdef-resumed" &&
      timed unifdef-resumed bash -c "$(declare -f unifdef_resumed); unifdef_resumed \"\$@\"" \
        _ "$dir/files" "$dir/resumed.err" "${uopts[@]}")
  fi
  unifdef_over unifdef-readable "$dir/readable0" "${readable[@]}"
done
echo "load after: $(uptime)"

# What each did in the last round: velkrun-tree's summary, unifdef's status and messages, and
# the files that differ from the original.
echo
echo "velkrun-tree: $(tail -n 1 "$dir/velkrun-tree.out" | sed 's/^velkrun-tree: //'), status" \
  "$(tail -n 1 "$dir/velkrun-tree.status"); $(changed velkrun-tree) files differ from the original"
ust=$(tail -n 1 "$dir/unifdef.status")
echo "unifdef: status $ust, $(messages unifdef) file(s) refused; $(changed unifdef) files differ from the original"
if fits "${files[@]}" && [ "$ust" = 2 ]; then
  line=$(grep -E '^unifdef: .*: [0-9]+: ' "$dir/unifdef.err" | tail -n 1 | sed 's/^unifdef: //' || true)
  stop=${line%%: [0-9]*}
  at=$(grep -nxF -- "$stop" "$dir/files" | head -n 1 | cut -d: -f1)
  echo "  it stopped at file ${at:-?} of $count ($stop) and left the $((count - ${at:-0})) after it unread"
fi
if [ "$resume" = 1 ]; then
  echo "unifdef-resumed: status $(tail -n 1 "$dir/unifdef-resumed.status"), $(messages unifdef-resumed)" \
    "file(s) refused; $(changed unifdef-resumed) files differ from the original"
fi
echo "unifdef-readable: status $(tail -n 1 "$dir/unifdef-readable.status"), $(messages unifdef-readable)" \
  "file(s) refused; $(changed unifdef-readable) files differ from the original;" \
  "$( (cd "$dir" && diff -rq velkrun-tree unifdef-readable | wc -l))" "differ from velkrun-tree's"
echo "files unifdef refuses ($(wc -l <"$dir/refused")), each run alone:"
sed 's/^/    /' "$dir/refused" | head -n 20

stat_table "${commands[@]}"
read -r _ am <<<"$(stat velkrun-tree 1)"
read -r _ acm <<<"$(stat velkrun-tree 2)"
echo
for c in "${commands[@]:1}"; do
  read -r _ m <<<"$(stat "$c" 1)"
  read -r _ cm <<<"$(stat "$c" 2)"
  # The smoke run's times may round to nothing.
  awk -v c="$c" -v a="$am" -v b="$m" -v ac="$acm" -v bc="$cm" 'BEGIN {
    if (b == 0 || bc == 0) { exit }
    printf "velkrun-tree / %s (medians): %.2f elapsed, %.2f cpu\n", c, a / b, ac / bc }'
done
rm -rf "$dir/copy" "${commands[@]/#/$dir/}"
