#!/usr/bin/env bash
# The whole project built for 32-bit x86 Linux (-m32, warnings as errors), the data model of the
# shipped 32-bit program: 32-bit int, long, pointers and size_t. ctest runs the unit, end-to-end
# and fuzz-replay tests natively where the kernel starts 32-bit programs, under qemu-i386 where it
# does not; where neither can run them, the build alone is checked and the step says so.
set -euo pipefail
cd "$(dirname "$0")/../.."
start=$SECONDS
probe=0
bash .ci/i386-probe.sh || probe=$?
if [[ $probe -eq 0 ]]; then
  how=native emulator=
elif emulator=$(command -v qemu-i386); then
  how=qemu-i386
else
  how=none emulator=
fi
cmake --preset linux32 -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DVELK_I386_EMULATOR="$emulator" \
  -DVELK_BUILD_TESTS="$([[ $how == none ]] && echo OFF || echo ON)" >/dev/null
cmake --build --preset linux32
file -b build/linux32/src/cli/velkrun | grep -q '^ELF 32-bit LSB .*Intel 80386' ||
  { echo "35-linux32: velkrun is not a 32-bit x86 program: $(file -b build/linux32/src/cli/velkrun)" >&2; exit 1; }
if [[ $how == none ]]; then
  echo "35-linux32: this machine runs no 32-bit x86 program (the kernel refuses them, and qemu-i386 is missing): the 32-bit build is checked, its unit, end-to-end and fuzz-replay tests are skipped"
else
  echo "35-linux32: tests run $([[ $how == native ]] && echo "natively" || echo "under qemu-i386, as this kernel runs no 32-bit x86 program")"
  ctest --preset linux32
fi
echo "32-bit build and tests: $((SECONDS - start)) s"
