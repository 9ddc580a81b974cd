#!/bin/sh
# wine-run.sh PREFIX PROGRAM.exe [ARGS...]: runs a Windows program under Wine, in the Wine prefix
# (the emulated C: drive and registry) PREFIX, which is created on first use. The exit status,
# standard output and standard error are the program's own, with nothing of Wine's mixed in.
set -eu
prefix=$1
shift
case $prefix in /*) ;; *) prefix=$(pwd)/$prefix ;; esac
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko install prompts when the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Debian's wine64 package keeps its loader off PATH.
wine=${VELK_WINE:-}
if [ -z "$wine" ]; then
  for w in /usr/lib/wine/wine64 wine64 wine; do
    if command -v "$w" >/dev/null 2>&1; then wine=$w; break; fi
  done
fi
if [ -z "$wine" ]; then
  echo "wine-run.sh: no Wine found (install wine64 or set VELK_WINE)" >&2
  exit 127
fi
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  # Parallel test runs share the prefix: only one of them creates it.
  flock "$prefix.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || "$1" wineboot --init >/dev/null 2>&1' \
    sh "$wine"
fi
exec "$wine" "$@"
