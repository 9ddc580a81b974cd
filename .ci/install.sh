#!/usr/bin/env bash
# Installs every package the build and the tests need. Safe to run again.
set -euo pipefail
pkgs=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev)
if [ -f .ci/packages.txt ]; then
  while read -r p; do [ -n "$p" ] && [ "${p#\#}" = "$p" ] && pkgs+=("$p"); done < .ci/packages.txt
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
