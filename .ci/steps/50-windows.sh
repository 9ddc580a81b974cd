#!/usr/bin/env bash
# The Windows console program, cross-built with mingw-w64 from the same sources, warnings as
# errors. The 32-bit executable (the shipped form) is checked to be a PE32 console program that
# needs nothing beyond Windows' own DLLs; this kernel cannot run 32-bit programs, so the unit and
# end-to-end suites (velkrun-tree's among them) run on the 64-bit build, under Wine.
set -euo pipefail
cd "$(dirname "$0")/../.."
start=$SECONDS

cmake --preset mingw32 --fresh -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build --preset mingw32
python3 .ci/windows/check_pe.py build/mingw32/src/cli/velkrun.exe pe32
python3 .ci/windows/check_pe.py build/mingw32/src/tree/velkrun-tree.exe pe32

prefix=$PWD/build/mingw64/wineprefix
t=$SECONDS
cmake/wine-run.sh "$prefix"
echo "Wine prefix ready in $((SECONDS - t)) s"
# A drive Q: of 16 KiB for the full-disk test of the Windows disk services, where this machine
# lets the step mount one; elsewhere that test is skipped.
small=$PWD/build/mingw64/smalldisk
mkdir -p "$small"
if mountpoint -q "$small" || mount -t tmpfs -o size=16k velk-small "$small" 2>/dev/null; then
  ln -sfn "$small" "$prefix/dosdevices/q:"
  export VELK_SMALL_DRIVE=Q:
else
  echo "No 16 KiB drive could be mounted: the Windows full-disk test is skipped"
fi
wineserver=$(dirname "$(command -v "${VELK_WINE:-/usr/lib/wine/wine64}" || command -v wine)")/wineserver
cleanup() {
  # The Wine server would outlive the tests by half a minute.
  WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
  if [[ -n ${VELK_SMALL_DRIVE:-} ]]; then
    rm -f "$prefix/dosdevices/q:"
    umount "$small"
  fi
}
trap cleanup EXIT

cmake --preset mingw64 --fresh -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build --preset mingw64
python3 .ci/windows/check_pe.py build/mingw64/src/cli/velkrun.exe pe32+
python3 .ci/windows/check_pe.py build/mingw64/src/tree/velkrun-tree.exe pe32+
python3 .ci/windows/check_pe.py build/mingw64/tests/velk_unit_tests.exe pe32+
ctest --preset mingw64
echo "Windows build and tests: $((SECONDS - start)) s"
