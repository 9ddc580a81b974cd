# Sourced by the velkrun-tree benchmarks from the top of the tree, with rounds and dir_default
# set: reads --rounds N and --smoke, builds velkrun and velkrun-tree when missing (VELK_BUILD,
# default build/release), and copies SRC (default /usr/include; with --smoke a small part of it)
# to $dir/copy, read once into the page cache. Sets rounds, src, dir, velkrun and tree_tool.
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
