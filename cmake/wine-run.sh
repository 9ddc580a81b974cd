#!/usr/bin/env bash
# wine-run.sh PREFIX [PROGRAM.exe ARGS...]: runs a Windows console program under Wine as on a
# Japanese Windows (ANSI code page 932), in the Wine prefix PREFIX (the emulated C: drive and
# registry). The prefix, and a Japanese locale for Wine beside it (PREFIX-locale, built with
# glibc's localedef from Debian's locales package), are made on first use; with no program,
# that is all it does.
#
# The program's exit status, standard output and standard error are its own, with nothing of
# Wine's mixed in. Each argument is given as the bytes the program is to find in its argv: Wine
# hands a program its command line in Unicode, so an argument holding Shift_JIS text is passed to
# Wine as the same characters in UTF-8, which Wine turns back into code page 932 bytes.
set -euo pipefail
export LC_ALL=C  # this script's own matching works on bytes
prefix=$1
shift
if [[ $# -gt 0 && -f $1 && $(head -c2 "$1") != MZ ]]; then
  exec "$@"  # not a Windows program: run natively, as Wine would, but keeping its exit status
fi
[[ $prefix == /* ]] || prefix=$PWD/$prefix
locales=$prefix-locale
locale=ja_JP.UTF-8

# Debian's wine64 and wine32 packages keep their loaders off PATH. A 32-bit program (PE32, machine
# 0x14c in its PE header) needs the 32-bit loader; the 64-bit one refuses it.
wine64=${VELK_WINE:-}
if [[ -z $wine64 ]]; then
  for w in /usr/lib/wine/wine64 wine64 wine; do
    if command -v "$w" >/dev/null; then wine64=$w; break; fi
  done
fi
wine32=${VELK_WINE32:-/usr/lib/wine/wine}
wine=$wine64
if [[ $# -gt 0 ]]; then
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || pe=
  if [[ -n $pe && $(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ') == 014c ]]; then
    wine=$wine32
    # A kernel without IA-32 emulation refuses the loader itself (and env would then take it for
    # a shell script): say so plainly.
    if command -v "$wine" >/dev/null && ! "$wine" --version >/dev/null 2>&1; then
      echo "wine-run.sh: $1 is a 32-bit program, and Wine's 32-bit loader $wine does not run here (does the kernel run 32-bit programs? see .ci/i386-probe.sh)" >&2
      exit 126
    fi
  fi
fi
if [[ -z $wine ]] || ! command -v "$wine" >/dev/null; then
  echo "wine-run.sh: no Wine found for ${1:-the prefix} (install wine64, wine32:i386 for 32-bit programs, or set VELK_WINE)" >&2
  exit 127
fi
server=${VELK_WINESERVER:-$(dirname "$(command -v "$wine")")/wineserver}
wine_env=(WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
          LOCPATH="$locales" LC_ALL="$locale")

if [[ ! -f $prefix/system.reg || ! -d $locales/$locale ]]; then
  mkdir -p "$(dirname "$prefix")"
  # Parallel test runs share the prefix: one of them makes it while the others wait.
  (
    flock 9
    if [[ ! -d $locales/$locale ]]; then
      mkdir -p "$locales"
      if ! localedef -i ja_JP -f UTF-8 "$locales/$locale" >/dev/null; then
        echo "wine-run.sh: cannot build the $locale locale (install locales)" >&2
        exit 127
      fi
    fi
    if [[ ! -f $prefix/system.reg ]]; then
      # No Mono or Gecko install prompts: the overrides above leave them out. Where the 32-bit
      # loader runs, it makes the prefix: the 32-bit half of a 64-bit prefix (syswow64) is filled
      # only from there, and the 64-bit half follows.
      boot=$wine64
      if "$wine32" --version >/dev/null 2>&1; then boot=$wine32; fi
      env "${wine_env[@]}" "$boot" wineboot --init >/dev/null 2>&1
    fi
  ) 9>"$prefix.lock"
fi
# Wine starts its whole session (about two seconds) whenever its server starts, and by default the
# server ends with the last program. So a server is started here that stays 30 seconds after the
# last program (it exits with 2 when one runs already), and its session is begun with no output
# attached: the session's services outlive the run and would hold a caller's pipes open.
if env "${wine_env[@]}" "$server" -p30 </dev/null >/dev/null 2>&1; then
  env "${wine_env[@]}" "$wine" wineboot </dev/null >/dev/null 2>&1 || true
fi
[[ $# -gt 0 ]] || exit 0

args=("$1")
shift
for a in "$@"; do
  if [[ $a == *[![:ascii:]]* ]] && conv=$(printf '%s.' "$a" | iconv -f CP932 -t UTF-8 2>/dev/null)
  then
    args+=("${conv%.}")  # the dot keeps a trailing newline from being cut off
  else
    args+=("$a")  # ASCII, or no code page 932 text: Wine receives it as it is
  fi
done
exec env "${wine_env[@]}" "$wine" "${args[@]}"
