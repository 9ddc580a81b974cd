#!/usr/bin/env bash
# velkrun, velkrun -x and unifdef over two real source trees, Debian's OpenSSL and zlib, with
# realistic platform lists: VMS, Windows and DOS names undefined, and for OpenSSL also the 32-bit
# Windows build (names defined with values). Prints, per tree, list and tool:
# files rewritten, files refused, conditional lines still testing a goal name, CPU and elapsed
# time, and how many rewrites the C preprocessor tells apart from their input
# (bench/real_trees.py says how). Ends with status 1 when velkrun -x leaves more goal lines than
# unifdef, refuses more files, or writes a difference cpp can see.
#
# usage: bench/real_trees.sh
# env:   BENCH_DIR   where the sources go (default build/real-trees; fetched once, kept)
#        VELK_BUILD  build folder holding src/cli/velkrun (default build/release, built here
#                    when missing)
#        PACKAGES    the source packages (default "openssl zlib")
# Needs apt-get source: as root it adds a deb-src entry beside the Debian one when there is
# none, and installs unifdef and dpkg-dev when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BENCH_DIR:-build/real-trees}
build=${VELK_BUILD:-build/release}
read -r -a packages <<<"${PACKAGES:-openssl zlib}"

if [ ! -x "$build/src/cli/velkrun" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release -j2 --target velkrun >/dev/null
fi
velkrun=$(realpath "$build/src/cli/velkrun")

# shellcheck source=bench/real_fetch.sh
source bench/real_fetch.sh
echo "velkrun: $velkrun; unifdef: $(unifdef -V 2>&1 | head -n 1)"
python3 bench/real_trees.py --velkrun "$velkrun" "${trees[@]}"
