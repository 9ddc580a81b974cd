#!/usr/bin/env bash
# Throughput of velkrun over generated inputs, beside `cat` and `wc -l` on the same files in the
# same run. For each input size: MB/s (10^6 bytes a second, best of RUNS), time relative to
# `wc -l`, and peak resident memory; both by elapsed time and by CPU time (user + system), which
# other work on a shared machine disturbs less.
#
# usage: bench/throughput.sh [--smoke] [SIZE...]     (default sizes: 1M 256M)
# Ends with the start-up cost beside a static no-op program (bench/startup.sh).
# env:   VELK_BIN    velkrun to measure (default: the Release build, built here when missing)
#        CORPUS_DIR  where generated inputs are kept between runs (default: build/bench-corpus)
#        SEED        corpus seed (default 1);  RUNS  timed runs per command (default 3)
#        ROUNDS_STARTUP  runs of each program for the start-up figure (default 400)
# --smoke: one 1 MiB input, one run each; only checks that every command succeeds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

runs=${RUNS:-3}
seed=${SEED:-1}
sizes=()
for a in "$@"; do
  case $a in
    --smoke) runs=1; sizes=(1M) ;;
    -*) echo "usage: $0 [--smoke] [SIZE...]" >&2; exit 2 ;;
    *) sizes+=("$a") ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(1M 256M)

# shellcheck source=bench/bench_bin.sh
source "$root/bench/bench_bin.sh"
corpus_dir=${CORPUS_DIR:-$root/build/bench-corpus}
mkdir -p "$corpus_dir"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
${CXX:-c++} -O2 -std=c++17 -static "$root/bench/spawn_timer.cpp" -o "$scratch/timer"

# 20 names with wildcards for -lA; -l/-d lists that settle some name families and leave the rest
# (and so about half of the conditionals) unsettled. Under -l/-d, #elif is refused, so those runs
# use the corpus variant without #elif.
la='CONFIG_NET*,CONFIG_?MP,CONFIG_P*,HAVE_*_H,HAVE_MMAP,HAVE_EPOLL,USE_SSL,USE_Z*,USE_SJIS'
la+=',ENABLE_FAST_*,WITH_*,OS_LINUX,ARCH_X86_64,FEATURE_A?,FEATURE_*NAME*,LEGACY_*_V2,DEBUG'
la+=',TRACE*,VERBOSE,*_STATS'
l_list='CONFIG_*,HAVE_*,WITH_*,DEBUG'
d_list='USE_*,ENABLE_*,NDEBUG'

# name|corpus variant|command (the input file is appended)
cases=(
  "cat|elif|cat"
  "wc -l|elif|wc -l"
  "velkrun -lA (20 names)|elif|$bin -lA $la"
  "velkrun -lA, no #elif|noelif|$bin -lA $la"
  "velkrun -l/-d (half unsettled)|noelif|$bin -l $l_list -d $d_list"
  "velkrun -v -lA|elif|$bin -v -lA $la"
  "velkrun -n -lA|elif|$bin -n -lA $la"
  "velkrun -T -lA|elif|$bin -T -lA $la"
)

corpus() {  # corpus SIZE VARIANT -> path, made when missing
  local f=$corpus_dir/corpus-$1-s$seed-$2.c flag=
  [ "$2" = noelif ] && flag=--no-elif
  if [ ! -s "$f" ]; then
    python3 "$root/bench/make_corpus.py" --seed "$seed" $flag "$1" "$f"
  fi
  echo "$f"
}

# measure CMD FILE -> sets best_ns, best_cpu (seconds) and rss_kib (peak resident memory of the
# last run). The wall time covers the process alone, the CPU time is exact to the microsecond.
measure() {
  local cmd=$1 file=$2 i ns cpu kib
  best_ns=
  best_cpu=
  for ((i = 0; i < runs; i++)); do
    # shellcheck disable=SC2086 # the command is a word list on purpose
    if ! "$scratch/timer" --once "$scratch/err" $cmd "$file" >"$scratch/t"; then
      echo "FAILED: $cmd $file" >&2
      cat "$scratch/err" >&2
      exit 1
    fi
    read -r ns cpu kib <"$scratch/t"
    if [ -z "$best_ns" ] || [ "$ns" -lt "$best_ns" ]; then best_ns=$ns; fi
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then
      best_cpu=$cpu
    fi
  done
  rss_kib=$kib
}

declare -A secs nbytes
for size in "${sizes[@]}"; do
  elif_file=$(corpus "$size" elif)
  noelif_file=$(corpus "$size" noelif)
  cat "$elif_file" "$noelif_file" >/dev/null  # both in the page cache before timing
  printf '\n%s input: %d bytes (%s), best of %d\n' "$size" "$(stat -c %s "$elif_file")" \
    "${elif_file##*/}" "$runs"
  printf '%-32s %8s %7s %7s | %6s %7s %7s | %8s\n' "command" "seconds" "MB/s" "x wc -l" \
    "cpu s" "MB/s" "x wc -l" "peak KiB"
  wc_ns=
  wc_cpu=
  for c in "${cases[@]}"; do
    IFS='|' read -r name variant cmd <<<"$c"
    file=$elif_file
    [ "$variant" = noelif ] && file=$noelif_file
    measure "$cmd" "$file"
    n=$(stat -c %s "$file")
    if [ "$name" = "wc -l" ]; then wc_ns=$best_ns; wc_cpu=$best_cpu; fi
    awk -v name="$name" -v ns="$best_ns" -v cpu="$best_cpu" -v n="$n" -v k="$rss_kib" \
      -v wns="$wc_ns" -v wcpu="$wc_cpu" 'BEGIN {
        r = wns == "" ? "-" : sprintf("%.2f", ns / wns)
        c = cpu + 0 < 0.0001 ? 0.0001 : cpu
        rc = wcpu == "" ? "-" : sprintf("%.2f", c / (wcpu + 0 < 0.0001 ? 0.0001 : wcpu))
        printf "%-32s %8.3f %7.0f %7s | %6.3f %7.0f %7s | %8d\n",
          name, ns / 1e9, n / (ns / 1e3), r, cpu, n / (c * 1e6), rc, k }'
    secs[$size|$name]=$best_ns
    nbytes[$size|$name]=$n
  done
done

# Cost per byte of each larger input against the first: 1.00 means time grows exactly with size.
if [ ${#sizes[@]} -gt 1 ] && [ "$runs" -gt 1 ]; then
  first=${sizes[0]}
  printf '\ntime per byte relative to the %s input\n' "$first"
  for c in "${cases[@]}"; do
    IFS='|' read -r name _ _ <<<"$c"
    line=$(printf '%-32s' "$name")
    for size in "${sizes[@]:1}"; do
      line+=$(awk -v s="$size" -v a="${secs[$size|$name]}" -v b="${secs[$first|$name]}" \
        -v na="${nbytes[$size|$name]}" -v nb="${nbytes[$first|$name]}" \
        'BEGIN { printf "  %s: %.2f", s, (a / na) / (b / nb) }')
    done
    echo "$line"
  done
fi

# Start-up against a statically linked no-op, for runs on many small files.
startup_rounds=${ROUNDS_STARTUP:-400}
[ "$runs" -gt 1 ] || startup_rounds=20
VELK_BIN=$bin ROUNDS=$startup_rounds bash "$root/bench/startup.sh"
