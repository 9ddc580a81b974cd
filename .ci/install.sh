#!/usr/bin/env bash
# Installs every package the build and the tests need. Safe to run again.
set -euo pipefail
pkgs=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev)
# Each part of the project lists its own extra packages in .ci/packages.d/*.txt, one a line.
for list in .ci/packages.d/*.txt; do
  [ -f "$list" ] || continue
  while read -r p; do [ -n "$p" ] && [ "${p#\#}" = "$p" ] && pkgs+=("$p"); done < "$list"
done
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
