#!/usr/bin/env bash
# The Windows console program, cross-built with mingw-w64 from the same sources, warnings as
# errors, and its tests under Wine in a Japanese (code page 932) prefix (cmake/wine-run.sh).
#
# The 32-bit build is the shipped form. Where the kernel starts 32-bit x86 programs, and so Wine's
# 32-bit loader (wine32), its unit tests, the end-to-end suite and velkrun-tree's end-to-end test
# run on the PE32 executables, and the 64-bit build adds its unit tests (the data model of 64-bit
# Windows: 64-bit pointers and size_t beside a 32-bit long). Where it does not, the PE32
# executables are checked, not run, and every suite runs on the 64-bit build.
set -euo pipefail
cd "$(dirname "$0")/../.."
start=$SECONDS

wine32=${VELK_WINE32:-/usr/lib/wine/wine}  # Debian's wine32 keeps its loader off PATH
probe=0
bash .ci/i386-probe.sh || probe=$?
if [[ $probe -eq 0 ]] && "$wine32" --version >/dev/null 2>&1; then
  pe32_tests=ON
elif [[ $probe -eq 0 ]]; then
  pe32_tests=OFF
  echo "50-windows: Wine's 32-bit loader ($wine32) does not run (install wine32:i386): the PE32 executables are checked, not run; every suite runs on the 64-bit build"
else
  pe32_tests=OFF
  echo "50-windows: this kernel runs no 32-bit x86 program, so no 32-bit Wine: the PE32 executables are checked, not run; every suite runs on the 64-bit build"
fi

# A drive Q: of 16 KiB for the full-disk test of the Windows disk services, where this machine
# lets the step mount one; elsewhere that test is skipped.
small=$PWD/build/smalldisk
mkdir -p "$small"
if mountpoint -q "$small" || mount -t tmpfs -o size=16k velk-small "$small" 2>/dev/null; then
  export VELK_SMALL_DRIVE=Q:
else
  echo "No 16 KiB drive could be mounted: the Windows full-disk test is skipped"
fi
prefixes=()
wine_prefix() {  # wine_prefix BUILD_DIR: makes the Wine prefix of that build, with drive Q:
  local prefix=$PWD/$1/wineprefix t=$SECONDS
  cmake/wine-run.sh "$prefix"
  echo "Wine prefix of $1 ready in $((SECONDS - t)) s"
  [[ -z ${VELK_SMALL_DRIVE:-} ]] || ln -sfn "$small" "$prefix/dosdevices/q:"
  prefixes+=("$prefix")
}
wineserver=$(dirname "$(command -v "${VELK_WINE:-/usr/lib/wine/wine64}" || command -v wine)")/wineserver
cleanup() {
  # The Wine server would outlive the tests by half a minute.
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
    rm -f "$prefix/dosdevices/q:"
  done
  if [[ -n ${VELK_SMALL_DRIVE:-} ]]; then
    umount "$small"
  fi
}
trap cleanup EXIT

cmake --preset mingw32 --fresh -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DVELK_BUILD_TESTS=$pe32_tests >/dev/null
# GoogleTest discovery starts the test program under Wine while building.
[[ $pe32_tests == OFF ]] || wine_prefix build/mingw32
cmake --build --preset mingw32
python3 .ci/windows/check_pe.py build/mingw32/src/cli/velkrun.exe pe32
python3 .ci/windows/check_pe.py build/mingw32/src/tree/velkrun-tree.exe pe32
if [[ $pe32_tests == ON ]]; then
  python3 .ci/windows/check_pe.py build/mingw32/tests/velk_unit_tests.exe pe32
  t=$SECONDS
  ctest --preset mingw32
  echo "PE32 suites: $((SECONDS - t)) s"
fi

cmake --preset mingw64 --fresh -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
wine_prefix build/mingw64
cmake --build --preset mingw64
python3 .ci/windows/check_pe.py build/mingw64/src/cli/velkrun.exe pe32+
python3 .ci/windows/check_pe.py build/mingw64/src/tree/velkrun-tree.exe pe32+
python3 .ci/windows/check_pe.py build/mingw64/tests/velk_unit_tests.exe pe32+
t=$SECONDS
if [[ $pe32_tests == ON ]]; then
  # The end-to-end cases ran on the shipped program; the step stays within its time.
  ctest --preset mingw64 --exclude-regex '^(e2e/|scripts\.)'
else
  ctest --preset mingw64
fi
echo "64-bit suites: $((SECONDS - t)) s"
echo "Windows build and tests: $((SECONDS - start)) s"
