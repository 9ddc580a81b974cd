# Sourced by the velkrun-tree benchmarks from the top of the tree, with rounds and dir_default
# set: reads --rounds N and --smoke, builds velkrun and velkrun-tree when missing (VELK_BUILD,
# default build/release), and copies SRC (default /usr/include; with --smoke a small part of it)
# to $dir/copy, read once into the page cache. Sets rounds, src, dir, velkrun and tree_tool, and
# defines fresh_copy, timed, and stat and stat_table for the summary of the NAME.times files
# under $dir.
while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --smoke) rounds=1; SRC=${SRC:-/usr/include/linux/netfilter}; shift ;;
    *) echo "usage: $0 [--rounds N] [--smoke]" >&2; exit 2 ;;
  esac
done
src=${SRC:-/usr/include}
build=${VELK_BUILD:-build/release}
if [ ! -x "$build/src/tree/velkrun-tree" ] || [ ! -x "$build/src/cli/velkrun" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release -j2 --target velkrun velkrun-tree >/dev/null
fi
velkrun=$(realpath "$build/src/cli/velkrun")
tree_tool=$(realpath "$build/src/tree/velkrun-tree")
dir=${BENCH_DIR:-$dir_default}
rm -rf "$dir"
mkdir -p "$dir"
dir=$(realpath "$dir")
cp -a "$src" "$dir/copy"
find "$dir/copy" -type f -exec cat {} + >/dev/null

# fresh_copy NAME: $dir/NAME, a new copy of $dir/copy, read once into the page cache
fresh_copy() {
  rm -rf "${dir:?}/$1"
  cp -a "$dir/copy" "$dir/$1"
  find "$dir/$1" -type f -exec cat {} + >/dev/null
}

# timed NAME COMMAND...: runs COMMAND with its output in $dir/NAME.out and $dir/NAME.err, appends
# "elapsed cpu" in seconds to the millisecond (CPU: user + system of COMMAND and its children) to
# $dir/NAME.times and its exit status to $dir/NAME.status. The subshell's times report only what
# it waited for, the command.
timed() {
  local name=$1
  shift
  (
    st=0
    t0=$EPOCHREALTIME
    "$@" >"$dir/$name.out" 2>"$dir/$name.err" || st=$?
    t1=$EPOCHREALTIME
    echo "$st $((${t1//[.,]/} - ${t0//[.,]/}))"
    times
  ) >"$dir/time"
  awk 'NR == 1 { print $1 }' "$dir/time" >>"$dir/$name.status"
  awk 'NR == 1 { e = $2 / 1e6 }
    NR == 3 { split($1, u, /[ms]/); split($2, s, /[ms]/); c = u[1] * 60 + u[2] + s[1] * 60 + s[2] }
    END { printf "%.3f %.3f\n", e, c }' "$dir/time" >>"$dir/$name.times"
  printf '  %-16s %s\n' "$name" "$(tail -n 1 "$dir/$name.times" | awk '{ printf "%7.3f s elapsed %7.3f s cpu", $1, $2 }')"
}

# stat NAME COLUMN: "best median" of a column of $dir/NAME.times (1 elapsed, 2 CPU seconds)
stat() { sort -n -k"$2" "$dir/$1.times" | awk -v c="$2" '{ v[NR] = $c } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f", v[1], m }'; }

# stat_table NAME...: the best and median elapsed and CPU seconds of each command
stat_table() {
  echo
  printf '%-34s %10s %10s %10s %10s\n' command "best s" "median s" "best cpu" "median cpu"
  local n eb em cb cm
  for n in "$@"; do
    read -r eb em <<<"$(stat "$n" 1)"
    read -r cb cm <<<"$(stat "$n" 2)"
    printf '%-34s %10s %10s %10s %10s\n' "$n" "$eb" "$em" "$cb" "$cm"
  done
}
