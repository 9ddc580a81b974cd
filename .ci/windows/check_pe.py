#!/usr/bin/env python3
"""check_pe.py EXE {pe32|pe32+}: checks that a cross-built velkrun executable is a Windows console
program of the given format that runs alone on a bare Windows.

Every DLL it imports must be a Windows system DLL (one that Wine ships; never a toolchain runtime
such as libstdc++-6.dll), and every function it imports must be exported by that DLL: by Wine's
64-bit build of it, or, for PE32 only, by the mingw-w64 32-bit import library of it (the 32-bit
C runtime has entries of its own, such as __p__acmdln, that the 64-bit DLLs lack).
Prints what it found; exits 1 on the first kind of fault it reports.
"""
import os
import re
import subprocess
import sys

WINE_DLLS = '/usr/lib/x86_64-linux-gnu/wine/x86_64-windows'


def objdump_p(path):
    return subprocess.run(['x86_64-w64-mingw32-objdump', '-p', path], check=True,
                          capture_output=True, text=True).stdout


def imports(dump):
    """Returns {dll: [function, ...]} from the import tables of an objdump -p listing."""
    result, dll = {}, None
    for line in dump.splitlines():
        m = re.match(r'\s*DLL Name: (\S+)', line)
        if m:
            dll = m.group(1)
            result[dll] = []
        elif dll and not line.strip():
            dll = None
        elif dll:
            m = re.match(r'\t[0-9a-f]+\t +\d+ +(\S+)', line)
            if m:
                result[dll].append(m.group(1))
    return result


def wine_exports(dll):
    path = os.path.join(WINE_DLLS, dll.lower())
    if not os.path.exists(path):
        return None
    return set(re.findall(r'^\t\[ *\d+\] (\S+)', objdump_p(path), re.M))


def implib_exports_32(dll):
    """Function names that the mingw-w64 32-bit import library of dll provides."""
    lib = '/usr/i686-w64-mingw32/lib/lib%s.a' % os.path.splitext(dll.lower())[0]
    if not os.path.exists(lib):
        return set()
    out = subprocess.run(['i686-w64-mingw32-nm', '-g', lib], capture_output=True, text=True).stdout
    # An import entry is '__imp_' and the decorated name: a leading underscore and, for stdcall,
    # an @n suffix.
    return {re.sub(r'@\d+$', '', s) for s in re.findall(r'^\S+ I __imp__(\S+)', out, re.M)}


def main():
    exe, want = sys.argv[1], sys.argv[2]
    dump = objdump_p(exe)
    faults = []
    magic = {'pe32': '010b', 'pe32+': '020b'}[want]
    if not re.search(r'^Magic\s+%s\b' % magic, dump, re.M):
        faults.append('not a %s executable' % want.upper())
    if not re.search(r'^Subsystem\s+00000003\b', dump, re.M):
        faults.append('not a console (Windows CUI) program')
    table = imports(dump)
    if not table:
        faults.append('no import table found')
    for dll, funcs in sorted(table.items()):
        exports = wine_exports(dll)
        if exports is None or dll.lower().startswith('lib'):
            faults.append('imports %s, which is no Windows system DLL' % dll)
            continue
        missing = [f for f in funcs if f not in exports]
        if missing and want == 'pe32':
            extra = implib_exports_32(dll)
            missing = [f for f in missing if f not in extra]
        for f in missing:
            faults.append('%s: %s is not exported' % (dll, f))
        print('%s: %s, %d functions' % (os.path.basename(exe), dll, len(funcs)))
    for f in faults:
        print('%s: %s' % (exe, f), file=sys.stderr)
    if not faults:
        print('%s: %s console executable, every import resolved' % (exe, want.upper()))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
