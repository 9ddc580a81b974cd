#!/usr/bin/env bash
# The whole project built for 32-bit x86 Linux (-m32, warnings as errors), the data model of the
# shipped 32-bit program: 32-bit int, long, pointers and size_t. This kernel cannot start 32-bit
# programs, so ctest runs the unit, end-to-end and fuzz-replay tests under qemu-i386.
set -euo pipefail
cd "$(dirname "$0")/../.."
start=$SECONDS
cmake --preset linux32 -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build --preset linux32
file -b build/linux32/src/cli/velkrun | grep -q '^ELF 32-bit LSB .*Intel 80386' ||
  { echo "35-linux32: velkrun is not a 32-bit x86 program: $(file -b build/linux32/src/cli/velkrun)" >&2; exit 1; }
ctest --preset linux32
echo "32-bit build and tests: $((SECONDS - start)) s"
