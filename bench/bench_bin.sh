# Sourced by the benchmark scripts from the top of the tree: sets bin to the velkrun to measure,
# $VELK_BIN or the Release build, which is built when missing.
bin=${VELK_BIN:-}
if [ -z "$bin" ]; then
  bin=$PWD/build/release/src/cli/velkrun
  if [ ! -x "$bin" ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release -j2 --target velkrun >/dev/null
  fi
fi
