#!/usr/bin/env bash
# i386-probe.sh: exits 0 when this machine's kernel starts a 32-bit x86 Linux program itself, 1
# when it does not (a kernel without IA-32 emulation, or with it switched off), 2 when no program
# could be built to ask (gcc without -m32 support: g++-multilib missing). Prints nothing.
# The answer is the same for every step of a run: it is a property of the kernel.
set -uo pipefail
dir=$(mktemp -d "${TMPDIR:-/tmp}/velk-i386-probe.XXXXXX") || exit 2
trap 'rm -rf "$dir"' EXIT
printf 'int main(void) { return sizeof(void *) == 4 ? 0 : 3; }\n' >"$dir/probe.c"
gcc -m32 -o "$dir/probe" "$dir/probe.c" >/dev/null 2>&1 || exit 2
"$dir/probe" >/dev/null 2>&1 || exit 1
exit 0
