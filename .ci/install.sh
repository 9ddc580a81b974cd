#!/usr/bin/env bash
# Installs every package the build and the tests need. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
pkgs=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev)
i386_pkgs=()
# Each part of the project lists its own extra packages in .ci/packages.d/*.txt, one a line. A
# name ending in :i386 is a package of the 32-bit x86 architecture (a 32-bit program that the
# tests start), installed only where the kernel runs 32-bit programs.
for list in .ci/packages.d/*.txt; do
  [ -f "$list" ] || continue
  while read -r p; do
    [ -n "$p" ] && [ "${p#\#}" = "$p" ] || continue
    if [ "${p%:i386}" != "$p" ]; then i386_pkgs+=("$p"); else pkgs+=("$p"); fi
  done < "$list"
done

missing() {  # prints the packages of "$@" that are not installed
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
install() {
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "$@"
}

mapfile -t todo < <(missing "${pkgs[@]}")
if [ ${#todo[@]} -gt 0 ]; then
  install "${todo[@]}"
fi

[ ${#i386_pkgs[@]} -gt 0 ] || exit 0
mapfile -t todo < <(missing "${i386_pkgs[@]}")
[ ${#todo[@]} -gt 0 ] || exit 0
probe=0
bash .ci/i386-probe.sh || probe=$?
if [ $probe -ne 0 ]; then
  # Where the kernel cannot start them, the 32-bit packages would only cost install time.
  echo "install.sh: this kernel runs no 32-bit x86 program: not installing ${todo[*]}"
  exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
install "${todo[@]}"
