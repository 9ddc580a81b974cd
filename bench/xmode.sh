#!/usr/bin/env bash
# The cost of -x on input the default reads: for every option set of bench/throughput.sh, the CPU
# time (user + system, best of RUNS) of velkrun with and without -x on the same corpus file, their
# ratio (the goal: at most 1.20), and how the outputs compare: "same" when byte-identical,
# otherwise the number of lines that differ and how many of them are directive lines (-x
# simplifies what stays unknown, and reads 0 and 1 beside names as numbers).
#
# usage: bench/xmode.sh [--smoke] [SIZE]     (default size: 64M)
# env:   VELK_BIN, CORPUS_DIR, SEED, RUNS as for bench/throughput.sh (RUNS default 5)
# --smoke: a 1 MiB input, one run each; only checks that every command succeeds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

runs=${RUNS:-5}
seed=${SEED:-1}
size=64M
for a in "$@"; do
  case $a in
    --smoke) runs=1; size=1M ;;
    -*) echo "usage: $0 [--smoke] [SIZE]" >&2; exit 2 ;;
    *) size=$a ;;
  esac
done

# shellcheck source=bench/bench_bin.sh
source "$root/bench/bench_bin.sh"
corpus_dir=${CORPUS_DIR:-$root/build/bench-corpus}
mkdir -p "$corpus_dir"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
${CXX:-c++} -O2 -std=c++17 -static "$root/bench/spawn_timer.cpp" -o "$scratch/timer"

# The lists of bench/throughput.sh.
la='CONFIG_NET*,CONFIG_?MP,CONFIG_P*,HAVE_*_H,HAVE_MMAP,HAVE_EPOLL,USE_SSL,USE_Z*,USE_SJIS'
la+=',ENABLE_FAST_*,WITH_*,OS_LINUX,ARCH_X86_64,FEATURE_A?,FEATURE_*NAME*,LEGACY_*_V2,DEBUG'
la+=',TRACE*,VERBOSE,*_STATS'
l_list='CONFIG_*,HAVE_*,WITH_*,DEBUG'
d_list='USE_*,ENABLE_*,NDEBUG'

# name|corpus variant|flag group ("" for none)|lists
cases=(
  "-lA (20 names)|elif||-lA $la"
  "-lA, no #elif|noelif||-lA $la"
  "-l/-d (half unsettled)|noelif||-l $l_list -d $d_list"
  "-v -lA|elif|v|-lA $la"
  "-n -lA|elif|n|-lA $la"
  "-T -lA|elif|T|-lA $la"
  "-v -l/-d|noelif|v|-l $l_list -d $d_list"
)

corpus() {  # corpus SIZE VARIANT -> path, made when missing
  local f=$corpus_dir/corpus-$1-s$seed-$2.c flag=
  [ "$2" = noelif ] && flag=--no-elif
  if [ ! -s "$f" ]; then
    python3 "$root/bench/make_corpus.py" --seed "$seed" $flag "$1" "$f"
  fi
  echo "$f"
}

# cpu_of CMD FILE -> best CPU seconds of RUNS runs; the output of the last run in $scratch/out.
cpu_of() {
  local cmd=$1 file=$2 i ns cpu kib best=
  for ((i = 0; i < runs; i++)); do
    # shellcheck disable=SC2086 # the command is a word list on purpose
    if ! "$scratch/timer" --once "$scratch/err" $cmd "$file" >"$scratch/t"; then
      echo "FAILED: $cmd $file" >&2
      cat "$scratch/err" >&2
      exit 1
    fi
    read -r ns cpu kib <"$scratch/t"
    if [ -z "$best" ] || awk -v a="$cpu" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$cpu; fi
  done
  # shellcheck disable=SC2086
  $cmd "$file" >"$scratch/out"
  echo "$best"
}

elif_file=$(corpus "$size" elif)
noelif_file=$(corpus "$size" noelif)
cat "$elif_file" "$noelif_file" >/dev/null
printf '%s input: %d bytes, best of %d\n' "$size" "$(stat -c %s "$elif_file")" "$runs"
printf '%-26s %8s %8s %6s  %s\n' "option set" "cpu s" "-x cpu s" "ratio" "output of -x"
worst=0
for c in "${cases[@]}"; do
  IFS='|' read -r name variant flags lists <<<"$c"
  file=$elif_file
  [ "$variant" = noelif ] && file=$noelif_file
  plain="$bin${flags:+ -$flags} $lists"
  xmode="$bin -${flags}x $lists"
  t0=$(cpu_of "$plain" "$file")
  mv "$scratch/out" "$scratch/out0"
  t1=$(cpu_of "$xmode" "$file")
  if cmp -s "$scratch/out0" "$scratch/out"; then
    same=same
  else
    diff "$scratch/out0" "$scratch/out" | grep '^[<>]' | cut -c3- >"$scratch/d" || true
    n=$(wc -l <"$scratch/d")
    nd=$(grep -c '^[ 0-9:]*[ \t]*#' "$scratch/d" || true)
    same="$n lines differ, $nd of them directive lines"
  fi
  ratio=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b / (a < 0.0001 ? 0.0001 : a) }')
  worst=$(awk -v a="$worst" -v b="$ratio" 'BEGIN { print (b > a ? b : a) }')
  printf '%-26s %8.3f %8.3f %6s  %s\n' "$name" "$t0" "$t1" "$ratio" "$same"
done
printf 'highest ratio: %s (goal: at most 1.20)\n' "$worst"
