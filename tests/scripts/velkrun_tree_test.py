#!/usr/bin/env python3
"""End-to-end test of velkrun-tree on scratch trees, driven against the real velkrun.

usage: velkrun_tree_test.py --velkrun V --tree T --scratch DIR [--prefix CMD] [--windows]

--prefix runs velkrun-tree under an emulator (Wine); --windows expects a Windows build: text
output with CR LF, input files written with CR LF (velkrun.exe reads and writes text), and the
checks that need POSIX modes, symbolic links or signals left out.
"""

import argparse
import os
import pty
import select
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import time

ARGS = None
failures = []


def check(what, ok):
    """One assertion."""
    if not ok:
        failures.append(what)
        print("FAIL: " + what)


def text(data):
    """Bytes as a Windows text stream wrote them, read back as POSIX text."""
    return data.replace(b"\r\n", b"\n") if ARGS.windows else data


def nl(data):
    """Line ends of an input file as the platform's velkrun leaves them unchanged."""
    return data.replace(b"\n", b"\r\n") if ARGS.windows else data


class Result:
    def __init__(self, proc):
        self.status = proc.returncode
        self.out = text(proc.stdout)
        self.err = text(proc.stderr)
        self.raw_out = proc.stdout


def tool_argv(args):
    argv = shlex.split(ARGS.prefix) if ARGS.prefix else []
    return argv + [ARGS.tree] + args


def run(args, cwd=None, env_extra=None, velkrun=None):
    env = dict(os.environ)
    env.pop("VELKRUN", None)  # the tool's own workers, unless a test names a velkrun to run
    if velkrun:
        env["VELKRUN"] = velkrun
    if env_extra:
        env.update(env_extra)
    proc = subprocess.run(tool_argv(args), cwd=cwd or ARGS.scratch, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    return Result(proc)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data, mode=None):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if mode is not None:
        os.chmod(path, mode)


def same_tree(a, b):
    """True when both folders hold the same names with the same bytes (links compared as links)."""
    names_a = sorted(os.listdir(a))
    names_b = sorted(os.listdir(b))
    if names_a != names_b:
        return False
    for n in names_a:
        pa, pb = os.path.join(a, n), os.path.join(b, n)
        if os.path.islink(pa) or os.path.islink(pb):
            if not (os.path.islink(pa) and os.path.islink(pb) and os.readlink(pa) == os.readlink(pb)):
                return False
        elif os.path.isdir(pa):
            if not (os.path.isdir(pb) and same_tree(pa, pb)):
                return False
        elif os.path.isdir(pb) or read(pa) != read(pb):
            return False
    return True


def no_temp_left(root):
    for _, _, files in os.walk(root):
        if any(f.startswith(".velkrun-tree.") for f in files):
            return False
    return True


def mode_of(path):
    return stat.S_IMODE(os.stat(path).st_mode)


IN = b"top\n#ifdef DROP\ngone\n#else\nstays\n#endif\nend\n"
WANT = b"top\nstays\nend\n"


def fresh(name):
    d = os.path.join(ARGS.scratch, name)
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    return d


def basic_tree():
    """The tree of the original script test: every kind of file a rewrite meets."""
    base = fresh("basic")
    t = os.path.join(base, "tree")
    os.makedirs(os.path.join(t, "sub dir"))
    write(os.path.join(t, "plain.c"), IN)
    write(os.path.join(t, "sub dir", "my file.cpp"), IN, 0o640)
    write(os.path.join(t, "same.h"), b"no conditionals here\n")
    write(os.path.join(t, "ro.hpp"), IN, 0o2444)  # the set-group-id bit is no write bit
    write(os.path.join(t, "bad.c"), b"a\n#if (DROP)\nb\n#endif\n")
    write(os.path.join(t, "notes.txt"), IN)
    write(os.path.join(t, "-dash.cc"), IN)
    os.symlink("plain.c", os.path.join(t, "link.c"))
    write(os.path.join(base, "outside", "far.c"), IN)
    os.symlink("../outside", os.path.join(t, "linkdir"))
    shutil.copytree(t, os.path.join(base, "orig"), symlinks=True)
    return base, t


def test_script_behaviour():
    """Every check of the shell script this program replaced."""
    base, t = basic_tree()
    orig = os.path.join(base, "orig")
    for bad in ["-v", "-n", "-nT", "-Tv", "-usage"]:
        r = run(["-d", "DROP", bad, "--", t])
        check(bad + " is refused with status 2", r.status == 2)
        check(bad + " is refused with a message", bad.encode() in r.err)
    r = run(["-d", "DROP", t])
    check("missing -- is a usage error", r.status == 2)
    r = run(["-d", "DROP", "--"])
    check("no path is a usage error", r.status == 2)
    r = run(["-d", "A-B", "--", t])
    check("an invalid list stops before any file", r.status == 2)
    check("an invalid list shows velkrun's message", b"invalid name" in r.err)
    check("usage errors touch nothing", same_tree(orig, t))

    r = run(["--dry-run", "-d", "DROP", "--", t])
    check("dry run: bad.c refused and nothing failed (a preview needs no write permission)", r.status == 3)
    check("dry run previews the read-only file", b"would change: " + t.encode() + b"/ro.hpp" in r.out)
    check("dry run lists plain.c", b"would change: " + t.encode() + b"/plain.c" in r.out)
    check("dry run lists the file with spaces", b"would change: " + t.encode() + b"/sub dir/my file.cpp" in r.out)
    check("dry run does not list same.h", b"same.h" not in r.out)
    check("dry run summary", b"velkrun-tree: files seen 6, would change 4, unchanged 1, refused 1, failed 0, "
                             b"symbolic links skipped 1" in r.out)
    check("dry run leaves the tree as it was", same_tree(orig, t))
    check("dry run leaves no temporary file", no_temp_left(base))

    r = run(["--backup", ".orig", "-d", "DROP", "--", t])
    check("run with failures exits 1", r.status == 1)
    check("plain.c rewritten", read(t + "/plain.c") == WANT)
    check("backup of plain.c kept", read(t + "/plain.c.orig") == IN)
    check("file with spaces rewritten", read(t + "/sub dir/my file.cpp") == WANT)
    check("file with spaces keeps mode 640", mode_of(t + "/sub dir/my file.cpp") == 0o640)
    check("file with a leading dash rewritten", read(t + "/-dash.cc") == WANT)
    check("unchanged file has no backup", not os.path.exists(t + "/same.h.orig"))
    check("read-only file left alone", read(t + "/ro.hpp") == IN)
    check("read-only file keeps mode 2444", mode_of(t + "/ro.hpp") == 0o2444)
    check("read-only file reported", (t + "/ro.hpp: read-only; not rewritten").encode() in r.err)
    check("unparsable file left alone", read(t + "/bad.c") == read(orig + "/bad.c"))
    check("parse failure reported with velkrun's message", (t + "/bad.c: Error(#6): 2:").encode() in r.err)
    check("other extensions ignored", read(t + "/notes.txt") == IN)
    check("symbolic link stays a link", os.path.islink(t + "/link.c"))
    check("symbolic link reported", (t + "/link.c: symbolic link, skipped").encode() in r.err)
    check("linked folder not followed", read(base + "/outside/far.c") == IN)
    check("summary", b"velkrun-tree: files seen 6, changed 3, unchanged 1, refused 1, failed 1, "
                     b"symbolic links skipped 1" in r.out)
    check("changed files listed", ("changed: " + t + "/plain.c").encode() in r.out)
    check("no temporary file left", no_temp_left(base))

    r = run(["-d", "DROP", "--", t + "/plain.c", t + "/sub dir", t + "/same.h"])
    check("clean second run exits 0", r.status == 0)
    check("clean second run summary",
          b"velkrun-tree: files seen 3, changed 0, unchanged 3, refused 0, failed 0" in r.out)

    r = run(["-d", "DROP", "--", t + "/notes.txt"])
    check("named .txt file rewritten", read(t + "/notes.txt") == WANT)
    write(t + "/notes.txt", IN)
    r = run(["--ext", ".txt,inc", "-d", "DROP", "--", t])
    check("--ext run exits 0", r.status == 0)
    check("--ext takes .txt", read(t + "/notes.txt") == WANT)
    check("--ext drops the default list", read(t + "/ro.hpp") == IN)

    write(t + "/-dash.cc", IN)
    run(["-d", "DROP", "--", "-dash.cc"], cwd=t)
    check("path with a leading dash", read(t + "/-dash.cc") == WANT)
    r = run(["-d", "DROP", "--", t + "/linkdir"])
    check("a linked folder named as PATH is searched", read(base + "/outside/far.c") == WANT)

    # Interrupted after velkrun has written the new text but before the rename: the file stays as
    # it was and the temporary file is removed.
    write(t + "/plain.c", IN)
    wrapper = os.path.join(base, "velkrun-then-term")
    write(wrapper, ('#!/usr/bin/env bash\n"%s" "$@"\nst=$?\n'
                    'case $* in */dev/null) ;; *) kill -TERM $PPID ;; esac\nexit $st\n' % ARGS.velkrun).encode(),
          0o755)
    r = run(["-d", "DROP", "--", t + "/plain.c"], velkrun=wrapper)
    check("interrupt exits 143", r.status == 143)
    check("interrupt reported", b"interrupted" in r.err)
    check("interrupted file untouched", read(t + "/plain.c") == IN)
    check("interrupt leaves no temporary file", no_temp_left(base))

    r = run(["-d", "DROP", "--", t], velkrun=os.path.join(base, "no-such-velkrun"))
    check("missing velkrun exits 2", r.status == 2)
    check("missing velkrun reported", b"cannot find velkrun" in r.err)


def rich_tree(name):
    """Files of every shape a diff must carry: CR LF, Shift_JIS, no final newline, odd names."""
    base = fresh(name)
    t = os.path.join(base, "tree")
    write(t + "/a.c", nl(IN))
    write(t + "/crlf.c", b"top\r\n#ifdef DROP\r\ngone\r\n#else\r\nstays\r\n#endif\r\nend\r\n")
    # 0x83 0x5C is one Shift_JIS character whose second byte is a backslash.
    write(t + "/sjis.h", nl(b"/* \x83\x5c */\n#ifndef DROP\nchar *s = \"\x83\x5c\";\n#endif\n"
                            b"#ifdef DROP\n\x82\xa0\n#endif\nlast\n"))
    write(t + "/nonl.c", nl(b"a\n#ifdef DROP\nb\n#endif\nc"))
    write(t + "/nonl-gone.c", nl(b"a\n#ifdef DROP\nb\n#endif"))
    write(t + "/sub dir/my file.cpp", nl(IN))
    write(t + "/-lead.cc", nl(IN))
    write(t + "/same.h", nl(b"nothing\n"))
    many = b"".join(b"line %d\n" % i for i in range(40))
    write(t + "/hunks.c", nl(many + b"#ifdef DROP\nx\n#endif\n" + many + b"#ifdef KEEP\ny\n#endif\n" + many))
    for i in range(30):
        write(t + "/many/f%02d.c" % i, nl(IN if i % 3 else b"plain %d\n" % i))
    write(t + "/bad.c", nl(b"#if (DROP)\n#endif\n"))
    return base, t


def test_modes():
    """--check, --diff, --quiet and -j: what each writes, and that the output does not depend on -j."""
    base, t = rich_tree("modes")
    orig = base + "/orig"
    shutil.copytree(t, orig)
    lists = ["-d", "DROP", "-l", "KEEP"]

    r1 = run(["-j", "1", "--dry-run"] + lists + ["--", "tree"], cwd=base)
    r4 = run(["--jobs", "4", "--dry-run"] + lists + ["--", "tree"], cwd=base)
    check("-j 1 and -j 4 write the same stdout", r1.out == r4.out and r1.out != b"")
    check("-j 1 and -j 4 write the same stderr", r1.err == r4.err and b"tree/bad.c: Error" in r1.err)
    check("-j 1 and -j 4 end the same", r1.status == r4.status == 3)
    listed = [l for l in r1.out.split(b"\n") if l.startswith(b"would change: ")]
    check("files reported in sorted path order", listed == sorted(listed) and len(listed) == 28)

    r = run(["--check"] + lists + ["--", "tree"], cwd=base)
    check("--check with changes and a failure exits 1", r.status == 1)
    check("--check lists what would change", b"would change: tree/crlf.c\n" in r.out)
    check("--check writes nothing", same_tree(orig, t))
    r = run(["--check"] + lists + ["--", "tree/same.h", "tree/many/f00.c"], cwd=base)
    check("--check on clean files exits 0", r.status == 0)
    check("--check clean summary", b"files seen 2, would change 0, unchanged 2, refused 0, failed 0\n" in r.out)
    r = run(["--check"] + lists + ["--", "tree/a.c"], cwd=base)
    check("--check with a change alone exits 1", r.status == 1)

    r = run(["--quiet", "--dry-run"] + lists + ["--", "tree"], cwd=base)
    check("--quiet drops the per-file lines", b"would change: " not in r.out)
    check("--quiet keeps the summary",
          b"velkrun-tree: files seen 40, would change 28, unchanged 11, refused 1, failed 0\n"
          in r.out)
    check("--quiet keeps the failures", b"tree/bad.c: Error" in r.err)

    d1 = run(["--diff", "-j", "1"] + lists + ["--", "tree"], cwd=base)
    d4 = run(["--diff", "-j", "4"] + lists + ["--", "tree"], cwd=base)
    check("--diff output does not depend on -j", d1.raw_out == d4.raw_out and d1.err == d4.err)
    check("--diff writes nothing to the tree", same_tree(orig, t))
    check("--diff sends the summary to stderr", b"would change 28" in d1.err and b"files seen" not in d1.raw_out)
    check("--diff quotes a name with a blank", b'--- "tree/sub dir/my file.cpp"\n' in d1.raw_out)
    check("--diff marks a last line without newline", b"\\ No newline at end of file\n" in d1.raw_out)
    check("--diff splits distant changes into hunks", d1.raw_out.count(b"@@ -") == 29)
    check("--diff with a refused file exits 3", d1.status == 3)

    real = run(lists + ["--", "tree"], cwd=base)
    check("the rewrite refuses only bad.c", real.status == 3 and real.err.count(b"velkrun-tree: ") == 1)
    if shutil.which("patch") and not ARGS.windows:
        patched = fresh("patched")
        shutil.copytree(orig, patched + "/tree")
        with open(os.path.join(ARGS.scratch, "modes.diff"), "wb") as f:
            f.write(d1.raw_out)
        p = subprocess.run(["patch", "-p0", "-s", "-i", os.path.join(ARGS.scratch, "modes.diff")],
                           cwd=patched, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        check("patch -p0 accepts the diff: " + p.stdout.decode(errors="replace"), p.returncode == 0)
        leftovers = [f for _, _, fs in os.walk(patched) for f in fs if f.endswith((".orig", ".rej"))]
        check("patch leaves no rejects", not leftovers)
        shutil.rmtree(patched + "/tree/many/__pycache__", ignore_errors=True)
        check("patch -p0 gives the rewrite byte for byte", same_tree(t, patched + "/tree"))
    check("the rewrite keeps CR LF", read(t + "/crlf.c") == b"top\r\nstays\r\nend\r\n")
    check("the rewrite keeps a missing final newline", read(t + "/nonl.c") == nl(b"a\nc"))
    check("the rewrite keeps Shift_JIS bytes",
          read(t + "/sjis.h") == nl(b"/* \x83\x5c */\nchar *s = \"\x83\x5c\";\nlast\n"))
    check("the rewrite leaves no temporary file", no_temp_left(base))

    r = run(["-j", "0", "--", "tree"], cwd=base)
    check("-j 0 is a usage error", r.status == 2 and b"jobs" in r.err)
    r = run(["--jobs"], cwd=base)
    check("--jobs without a number is a usage error", r.status == 2)
    r = run(["--frobnicate", "--", "tree"], cwd=base)
    check("an unknown option is a usage error", r.status == 2 and b"unknown option: --frobnicate" in r.err)
    r = run(["--help"], cwd=base)
    check("--help exits 0 with the usage line", r.status == 0 and r.out.startswith(b"Usage: velkrun-tree "))


def test_failures_posix():
    """A crashed or killed velkrun, an unreadable folder, an interrupt by SIGINT and SIGHUP."""
    base, t = rich_tree("crash")
    wrapper = base + "/velkrun-crash"
    write(wrapper, ('#!/usr/bin/env bash\ncase $* in\n  *crlf.c) kill -SEGV $$ ;;\n  *nonl.c) kill -KILL $$ ;;\n'
                    'esac\nexec "%s" "$@"\n' % ARGS.velkrun).encode(), 0o755)
    r = run(["-d", "DROP", "--", "tree"], cwd=base, velkrun=wrapper)
    check("a crashed velkrun fails its file only", r.status == 1 and read(t + "/a.c") == WANT)
    check("a crash is reported with its signal", b"tree/crlf.c: velkrun was killed by signal 11" in r.err)
    check("a kill is reported with its signal", b"tree/nonl.c: velkrun was killed by signal 9" in r.err)
    check("crashed files stay as they were", read(t + "/nonl.c") == b"a\n#ifdef DROP\nb\n#endif\nc")
    check("a crash leaves no temporary file", no_temp_left(base))
    check("summary counts the crashes apart from the refusal", b"refused 1, failed 2" in r.out)

    if os.geteuid() != 0:  # an all-powerful user reads every folder
        os.makedirs(t + "/closed")
        write(t + "/closed/x.c", IN)
        os.chmod(t + "/closed", 0)
        r = run(["-d", "DROP", "--", "tree"], cwd=base)
        os.chmod(t + "/closed", 0o755)
        check("an unreadable folder is a failure", r.status == 1 and b"tree/closed: cannot read the folder" in r.err)

    # Interrupts while files are being rewritten: each file is whole, old or new, nothing left.
    for sig, status in ((signal.SIGINT, 130), (signal.SIGHUP, 129), (signal.SIGTERM, 143)):
        base, t = rich_tree("interrupt-%d" % status)
        slow = base + "/velkrun-slow"
        write(slow, ('#!/usr/bin/env bash\nsleep 0.05\nexec "%s" "$@"\n' % ARGS.velkrun).encode(), 0o755)
        for i in range(60):
            write(t + "/more/g%02d.c" % i, IN)
        before = {}
        for d, _, fs in os.walk(t):
            for f in fs:
                before[os.path.join(d, f)] = read(os.path.join(d, f))
        env = dict(os.environ, VELKRUN=slow)
        proc = subprocess.Popen(tool_argv(["-j", "2", "-d", "DROP", "--", "tree"]), cwd=base, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        # Wait until some file has been rewritten, then interrupt.
        deadline = time.time() + 60
        while time.time() < deadline and read(t + "/more/g00.c") == IN and proc.poll() is None:
            time.sleep(0.01)
        proc.send_signal(sig)
        out, err = proc.communicate(timeout=120)
        check("signal %d exits %d (got %s)" % (sig, status, proc.returncode), proc.returncode == status)
        check("signal %d is reported" % sig, b"interrupted" in err)
        states = [read(t + "/more/g%02d.c" % i) for i in range(60)]
        check("after signal %d every file is whole" % sig, all(s in (IN, WANT) for s in states))
        check("after signal %d some files are not reached" % sig, IN in states)
        check("signal %d leaves no temporary file" % sig, no_temp_left(base))
        summary = [l for l in out.split(b"\n") if l.startswith(b"velkrun-tree: files seen ")]
        changed = sum(1 for p, b in before.items() if read(p) != b)
        check("signal %d: the counts of what was done (%r)" % (sig, summary),
              len(summary) == 1 and b", changed %d," % changed in summary[0] and b"failed 0" in summary[0])


def test_progress_posix():
    """A progress line only on a terminal, and never with --quiet."""
    base, t = rich_tree("progress")
    for quiet, want in (([], True), (["--quiet"], False)):
        master, slave = pty.openpty()
        env = dict(os.environ, VELKRUN=ARGS.velkrun)
        proc = subprocess.Popen(tool_argv(quiet + ["--dry-run", "-d", "DROP", "--", "tree"]), cwd=base,
                                env=env, stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        seen = b""
        while True:
            ready, _, _ = select.select([master], [], [], 60)
            if not ready:
                break
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        proc.communicate(timeout=60)
        os.close(master)
        shown = b"\rvelkrun-tree: 40 of 40 files, would change 28, refused 1, failed 0" in seen
        check("progress line on a terminal" if want else "no progress line with --quiet", shown == want)
        if want:
            check("progress line cleared at the end", seen.rstrip(b" ").endswith(b"\r"))
    r = run(["--dry-run", "-d", "DROP", "--", "tree"], cwd=base)
    check("no progress line when stderr is no terminal", b"\r" not in r.err and b" of 40 files" not in r.err)


def test_beside():
    """Without VELKRUN, velkrun-tree runs the filter in its own workers: no velkrun is needed."""
    base, t = rich_tree("beside")
    bindir = base + "/bin"
    os.makedirs(bindir)
    shutil.copy2(ARGS.tree, bindir)
    env = {k: v for k, v in os.environ.items() if k != "VELKRUN"}
    env["PATH"] = "/usr/bin:/bin"
    proc = subprocess.run([bindir + "/" + os.path.basename(ARGS.tree), "-d", "DROP", "--", "tree/a.c"], cwd=base,
                          env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    check("velkrun-tree alone rewrites the file", proc.returncode == 0 and read(t + "/a.c") == WANT)


SYM_A = b"""#ifdef OUTER
#if defined(NESTED) && !defined(REMOVED_INNER)
int x;
#endif
#else
#if REMOVED_BLOCK
#endif
#endif
/* #if IN_BLOCK_COMMENT */
// #if IN_LINE_COMMENT
#if A_NAME /* B_COMMENTED */ || C_NAME // D_COMMENTED
#endif
#if 'E' == CHR_NAME || defined STR_NAME || L'F' || u8"G"
#endif
const char *s = "#if IN_STRING";
  #  if CONT_ONE || \\
    CONT_TWO || /* OPEN_COMMENT
    STILL_COMMENT */ defined(CONT_THREE)
#endif
#if __has_include(<has/INCLUDED.h>) && __has_include_next("QUOTED.h") && AFTER_HAS
#endif
#if FUNC(4, ARG) > 10UL && 0x1F && 1e+5
#elif OUTER
#endif
#define OUTER 1
#undef NESTED
#define FUNC(a, b) a
"""
# CR LF and Shift_JIS: 0x83 0x5C is one character whose second byte is a backslash, and the second
# byte of 0x83 0x41 is the letter A, which must not begin a name ABC_TRAIL.
SYM_B = b"#ifdef SJ_NAME\r\n/* \x83\x5c */\r\n#if \x83\x41BC_TRAIL || SJ_TWO\r\n#endif\r\n#endif\r\n"
SYM_C = b"#ifdef OUTER\n#endif\n#ifndef OUTER\n#endif"
SYM_TABLE = b"""OUTER\t2\t4\t1\tundefined
AFTER_HAS\t1\t1\t0\tundefined
ARG\t1\t1\t0\tundefined
A_NAME\t1\t1\t0\tundefined
BC_TRAIL\t1\t1\t0\tundefined
CHR_NAME\t1\t1\t0\tundefined
CONT_ONE\t1\t1\t0\tundefined
CONT_THREE\t1\t1\t0\tundefined
CONT_TWO\t1\t1\t0\tundefined
C_NAME\t1\t1\t0\tundefined
FUNC\t1\t1\t1\tundefined
NESTED\t1\t1\t1\tundefined
REMOVED_BLOCK\t1\t1\t0\tundefined
REMOVED_INNER\t1\t1\t0\tundefined
SJ_NAME\t1\t1\t0\tundefined
SJ_TWO\t1\t1\t0\tundefined
STR_NAME\t1\t1\t0\tundefined
"""
SYM_LOCATE = b"""t/a.c:1: OUTER
t/a.c:2: NESTED
t/a.c:2: REMOVED_INNER
t/a.c:6: REMOVED_BLOCK
t/a.c:11: A_NAME
t/a.c:11: C_NAME
t/a.c:13: CHR_NAME
t/a.c:13: STR_NAME
t/a.c:16: CONT_ONE
t/a.c:17: CONT_TWO
t/a.c:18: CONT_THREE
t/a.c:20: AFTER_HAS
t/a.c:22: FUNC
t/a.c:22: ARG
t/a.c:23: OUTER
t/b.h:1: SJ_NAME
t/b.h:3: BC_TRAIL
t/b.h:3: SJ_TWO
t/c.c:1: OUTER
t/c.c:3: OUTER
"""


def symbols_tree(name):
    base = fresh(name)
    write(base + "/t/a.c", SYM_A)
    write(base + "/t/b.h", SYM_B)
    write(base + "/t/c.c", SYM_C)
    write(base + "/t/notes.txt", b"#if NOT_TAKEN\n#endif\n")
    return base


def test_symbols_common(tag):
    """--symbols and --locate on names in every place a conditional can hold them."""
    base = symbols_tree("symbols-" + tag)
    before = {f: read(base + "/t/" + f) for f in os.listdir(base + "/t")}
    r1 = run(["--symbols", "-j", "1", "--", "t"], cwd=base)
    r4 = run(["--symbols", "-j", "4", "--", "t"], cwd=base)
    check(tag + ": --symbols table", r1.out == SYM_TABLE)
    check(tag + ": --symbols exits 0", r1.status == 0)
    check(tag + ": --symbols last line", r1.err == b"velkrun-tree: files read 3, names found 17, open 0\n")
    check(tag + ": --symbols -j 1 and -j 4 agree", r1.out == r4.out and r1.err == r4.err)
    check(tag + ": --symbols writes nothing", all(read(base + "/t/" + f) == b for f, b in before.items()))
    loc = run(["--symbols", "--locate", "--", "t"], cwd=base)
    check(tag + ": --locate lines", loc.out == SYM_LOCATE)
    per_name = {}
    for line in SYM_TABLE.splitlines():
        per_name[line.split(b"\t")[0]] = int(line.split(b"\t")[2])
    counted = {}
    for line in loc.out.splitlines():
        counted[line.rsplit(b" ", 1)[1]] = counted.get(line.rsplit(b" ", 1)[1], 0) + 1
    check(tag + ": --locate lines number each name's LINES", counted == per_name)

    r = run(["--symbols", "-l", "OUT*,C?NAME", "-d", "OUTER,*_NAME", "--", "t/c.c", "t/a.c"], cwd=base)
    check(tag + ": first matching list entry settles", b"OUTER\t2\t4\t1\tdefined\n" in r.out and
          b"C_NAME\t1\t1\t0\tdefined\n" in r.out and b"A_NAME\t1\t1\t0\tundefined\n" in r.out)
    check(tag + ": unmatched names are open beside -l/-d", b"FUNC\t1\t1\t1\topen\n" in r.out)
    check(tag + ": open count", r.err.endswith(b", open 9\n"))

    for bad in (["--symbols", "--check"], ["--symbols", "--diff"], ["--symbols", "--dry-run"],
                ["--symbols", "--backup", ".b"], ["--locate"]):
        r = run(bad + ["--", "t"], cwd=base)
        check(tag + ": %s is a usage error" % " ".join(bad), r.status == 2 and b"Usage: velkrun-tree" in r.err)
    r = run(["--symbols", "-d", "A-B", "--", "t"], cwd=base)
    check(tag + ": --symbols with a refused list exits 2", r.status == 2 and b"invalid name" in r.err)


def test_symbols_posix():
    """What velkrun cannot read, unreadable files, and SETTLED against what a rewrite does."""
    base = symbols_tree("symbols-posix")
    # Text the filter refuses is listed all the same.
    write(base + "/t/refused.c", b"#if LONG_LINE_NAME\n" + b"x" * 5000 + b"\n#endif\n#if BEFORE_OPEN\n/* open")
    paths = ["t"]
    if os.geteuid() != 0:
        write(base + "/t/closed.c", b"#if X\n#endif\n", 0)
    else:
        paths.append("/proc/self/mem")  # a file not even an all-powerful user can read
    r = run(["--symbols", "--"] + paths, cwd=base)
    check("unreadable file exits 1", r.status == 1)
    check("unreadable file reported", b": cannot read the file: " in r.err)
    check("the other files still listed", b"OUTER\t2\t4\t1\tundefined\n" in r.out)
    check("names before a refused line and an open comment listed",
          b"LONG_LINE_NAME\t1\t1\t0\t" in r.out and b"BEFORE_OPEN\t1\t1\t0\t" in r.out)
    check("the last line counts the failure", b"failed 1" in r.err.splitlines()[-1])

    # SETTLED is what a rewrite makes of "#ifdef NAME": kept branch, removed branch, or both kept.
    names = ["FOO", "FOO_X1", "FOOBAR", "BAR", "BAZ", "BIZ", "BZ", "A1", "AB", "B1", "X_OLD", "NEW_X",
             "OTHER", "fooBAR", "N_OLD_X"]
    one = fresh("settled")
    for n in names:
        write("%s/t/%s.c" % (one, n), ("#ifdef %s\nyes\n#else\nno\n#endif\n" % n).encode())
    option_sets = [
        ["-l", "FOO*,BAR", "-d", "FOO_X*,B?Z", "-l", "B?Z,FOO_X1"],
        ["-lA", "A*", "-lA", "B?"],
        [],
        ["-d", "*_OLD", "-l", "NEW_*,*_OLD*"],
        ["-T", "-d", "*", "-l", "FOO"],
        ["-x", "-l", "FOO=2,B?Z=0x10", "-d", "BAR", "-l", "A1=-1"],
        ["-lA", "FOO=0", "-xT"],
    ]
    for opts in option_sets:
        r = run(["--symbols"] + opts + ["--", "t"], cwd=one)
        table = {l.split(b"\t")[0].decode(): l.split(b"\t")[4].decode() for l in r.out.splitlines()}
        for n in names:
            p = subprocess.run([ARGS.velkrun] + opts + ["t/%s.c" % n], cwd=one, stdout=subprocess.PIPE)
            want = {b"yes\n": "defined", b"no\n": "undefined"}.get(p.stdout, "open")
            check("SETTLED of %s under %s is %s (got %s)" % (n, " ".join(opts), want, table.get(n)),
                  table.get(n) == want)


def stand_in(base, name, body):
    """A velkrun stand-in: the trial run on the empty input goes straight to velkrun, every file
    run does body with $f the file and "$@" the arguments (run "$VK" "$@" for the real velkrun)."""
    path = os.path.join(base, name)
    write(path, ('#!/usr/bin/env bash\nVK="%s"\ncase $* in */dev/null) exec "$VK" "$@" ;; esac\n'
                 'f="${@: -1}"\n%s\n' % (ARGS.velkrun, body)).encode(), 0o755)
    return path


# The first bytes of velkrun's output, then an edit, then the rest: velkrun is still reading a file
# far larger than the pipe and its read block when the edit is made, whatever the machine's speed.
MID_READ = '"$VK" "$@" | { dd bs=1000 count=1 status=none; %s; cat; }\nexit ${PIPESTATUS[0]}'
EDIT = b"int EDIT;\n"


def big_text():
    """About 4 MB whose rewrite differs from the start: far more than a pipe and a read block."""
    return b"#ifdef DEBUG\nint dbg;\n#endif\n" + b"int keep_this_line_of_code_here; /* padding */\n" * 80000


def test_edits_during_the_run():
    """An edit saved while velkrun reads the file, or after, is never overwritten."""
    base = fresh("edits")
    cases = [
        ("saved by rename while velkrun reads", MID_READ % 'printf "int EDIT;\\n" >"$f.e" && mv "$f.e" "$f"'),
        ("written in place while velkrun reads", MID_READ % 'printf "int EDIT;\\n" >"$f"'),
        ("saved by rename after velkrun read", '"$VK" "$@"\nst=$?\nprintf "int EDIT;\\n" >"$f.e" && mv "$f.e" "$f"\n'
                                              'exit $st'),
        ("written in place after velkrun read", '"$VK" "$@"\nst=$?\nprintf "int EDIT;\\n" >"$f"\nexit $st'),
    ]
    for n, (what, body) in enumerate(cases):
        for backup in ([], ["--backup", ".orig"]):
            t = fresh("edits/t%d%s" % (n, "b" if backup else ""))
            write(t + "/big.c", big_text())
            os.utime(t + "/big.c", (946684800, 946684800))  # older than any edit the test makes
            wrapper = stand_in(base, "edit%d" % n, body)
            r = run(["-j", "1"] + backup + ["-lA", "DEBUG", "--", t], velkrun=wrapper)
            tag = what + (" with --backup" if backup else "")
            check("edit %s: kept" % tag, read(t + "/big.c") == EDIT)
            check("edit %s: reported" % tag, (t + "/big.c: changed during the run; not rewritten\n").encode() in r.err)
            check("edit %s: failed, status 1 (%d)" % (tag, r.status),
                  r.status == 1 and b"changed 0, unchanged 0, refused 0, failed 1" in r.out)
            check("edit %s: no backup, no temporary file" % tag,
                  sorted(os.listdir(t)) == ["big.c"])
    # The same run without an edit rewrites the file.
    t = fresh("edits/none")
    write(t + "/big.c", big_text())
    wrapper = stand_in(base, "no-edit", MID_READ % "true")
    r = run(["-lA", "DEBUG", "--", t], velkrun=wrapper)
    check("no edit: the file is rewritten",
          r.status == 0 and read(t + "/big.c") == b"int dbg;\n" + big_text()[len(b"#ifdef DEBUG\nint dbg;\n#endif\n"):])


def test_each_file_once_and_backups():
    """Overlapping PATHs, existing backup names, two runs at once."""
    base = fresh("once")
    ov = base + "/ov"
    write(ov + "/a.c", IN)
    write(ov + "/sub/b.h", IN)
    r = run(["--backup", ".orig", "-d", "DROP", "--", "ov", "./ov", "ov//", ov, "ov/a.c", "ov/sub/../a.c"],
            cwd=base)
    check("overlapping PATHs: status 0", r.status == 0)
    check("overlapping PATHs: the backup holds the original", read(ov + "/a.c.orig") == IN and
          read(ov + "/sub/b.h.orig") == IN)
    check("overlapping PATHs: rewritten", read(ov + "/a.c") == WANT and read(ov + "/sub/b.h") == WANT)
    check("overlapping PATHs: each file counted once",
          b"files seen 2, changed 2, unchanged 0, refused 0, failed 0\n" in r.out)
    check("overlapping PATHs: each file listed once", r.out.count(b"changed: ") == 2)
    os.link(ov + "/a.c", ov + "/hard.c")
    r = run(["--dry-run", "-d", "DROP", "--", "ov"], cwd=base)
    check("hard links of one file: taken once, under the first name",
          b"files seen 2, would change 0, unchanged 2," in r.out)

    ex = base + "/exists"
    write(ex + "/foo.c", IN)
    write(ex + "/foo.c.orig", b"left by patch\n")
    write(ex + "/bar.c", IN)
    r = run(["--backup", ".orig", "-d", "DROP", "--", "exists"], cwd=base)
    check("existing backup: reported", b"velkrun-tree: exists/foo.c: backup exists/foo.c.orig exists; not rewritten\n"
          in r.err)
    check("existing backup: kept as it was", read(ex + "/foo.c.orig") == b"left by patch\n")
    check("existing backup: file not rewritten", read(ex + "/foo.c") == IN)
    check("existing backup: the other file rewritten", read(ex + "/bar.c") == WANT and read(ex + "/bar.c.orig") == IN)
    check("existing backup: failed, status 1", r.status == 1 and b"changed 1, unchanged 0, refused 0, failed 1" in r.out)
    check("existing backup: no temporary file", no_temp_left(ex))
    # The backup name of one source file is another source file of the same run.
    sf = base + "/suffix"
    write(sf + "/a.h", IN)
    write(sf + "/a.h.c", IN + b"/* the other file */\n")
    r = run(["--backup", ".c", "-d", "DROP", "--", "suffix"], cwd=base)
    check("backup named like a source file: that file is no backup",
          read(sf + "/a.h") == IN and b"suffix/a.h: backup suffix/a.h.c exists; not rewritten" in r.err)
    check("backup named like a source file: the source file is rewritten, its own backup kept",
          read(sf + "/a.h.c") == WANT + b"/* the other file */\n" and read(sf + "/a.h.c.c") == IN + b"/* the other file */\n")

    two_runs_at_once(base, 150, "")


def two_runs_at_once(base, n, tag):
    """Two runs at once: every file its rewrite, every backup its original, each file rewritten by
    one run only, whatever the interleaving."""
    two = base + "/two"
    for i in range(n):
        write(two + "/f%03d.c" % i, nl(IN))
    env = dict(os.environ, VELKRUN=ARGS.velkrun_env)
    procs = [subprocess.Popen(tool_argv(["-j", "2", "--backup", ".orig", "-d", "DROP", "--", "two"]), cwd=base,
                              env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE) for _ in range(2)]
    outs = [tuple(text(x) for x in p.communicate(timeout=300)) for p in procs]
    names = ["%s/f%03d.c" % (two, i) for i in range(n)]
    rewritten = [f for f in names if read(f) == nl(WANT)]
    # Windows may keep both runs from replacing a file the other holds open: then it stays as it
    # was, with no backup, and both report it.
    left = [f for f in names if read(f) == nl(IN) and not os.path.exists(f + ".orig")]
    check(tag + "two runs: every file its rewrite",
          len(rewritten) == n or (ARGS.windows and len(rewritten) + len(left) == n))
    check(tag + "two runs: every backup its original", all(read(f + ".orig") == nl(IN) for f in rewritten))
    check(tag + "two runs: no temporary file", no_temp_left(two))
    changed = 0
    for out, err in outs:
        for line in out.split(b"\n"):
            if line.startswith(b"velkrun-tree: files seen"):
                changed += int(line.split(b", changed ")[1].split(b",")[0])
        for line in err.split(b"\n"):
            # Windows refuses to replace a file another process holds open (the other run, or its
            # velkrun, reading it): that run fails the file and the other rewrites it.
            check(tag + "two runs: a file the other run got to first is left to it (%r)" % line,
                  line == b"" or line.endswith(b": changed during the run; not rewritten") or
                  line.endswith(b".orig exists; not rewritten") or
                  (ARGS.windows and b": cannot replace the file: " in line))
    check(tag + "two runs: each file rewritten once (%d)" % changed, changed == len(rewritten))


def test_statuses_and_previews():
    """Ignored SIGHUP, read-only previews, the list a rewrite needs, refused apart from failed, every
    exit status, a link named as PATH."""
    base = fresh("statuses")
    t = base + "/t"
    write(t + "/a.c", IN)
    hup = stand_in(base, "velkrun-hup", '"$VK" "$@"\nst=$?\nkill -HUP $PPID\nexit $st')
    env = dict(os.environ, VELKRUN=hup)
    p = subprocess.run(tool_argv(["-d", "DROP", "--", "t"]), cwd=base, env=env, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
    check("ignored SIGHUP: the run goes on (%d)" % p.returncode, p.returncode == 0 and read(t + "/a.c") == WANT)
    check("ignored SIGHUP: no interrupt", b"interrupted" not in p.stderr)

    ro = base + "/ro"
    write(ro + "/r.c", IN, 0o444)
    os.chmod(ro, 0o555)
    r = run(["--dry-run", "-d", "DROP", "--", "ro"], cwd=base)
    check("read-only --dry-run", r.status == 0 and b"would change: ro/r.c\n" in r.out and r.err == b"")
    r = run(["--check", "-d", "DROP", "--", "ro"], cwd=base)
    check("read-only --check: would change, status 1", r.status == 1 and b"would change 1, unchanged 0, refused 0, "
          b"failed 0" in r.out and b"read-only" not in r.err)
    r = run(["--diff", "-d", "DROP", "--", "ro"], cwd=base)
    check("read-only --diff shows the diff", r.status == 0 and b"\n-#ifdef DROP\n-gone\n-#else\n" in r.out)
    r = run(["--symbols", "--", "ro"], cwd=base)
    check("read-only --symbols", r.status == 0 and r.out == b"DROP\t1\t1\t0\tundefined\n")
    r = run(["-d", "DROP", "--", "ro"], cwd=base)
    check("read-only file: a rewrite still leaves it", r.status == 1 and b"ro/r.c: read-only; not rewritten" in r.err)
    os.chmod(ro, 0o755)
    check("read-only: nothing written", read(ro + "/r.c") == IN and sorted(os.listdir(ro)) == ["r.c"])

    write(t + "/a.c", IN)
    for mode in ([], ["--dry-run"], ["--check"], ["--diff"]):
        r = run(mode + ["-T", "--", "t"], cwd=base)
        check("no list %s: usage error" % mode, r.status == 2 and b"give -d '*'" in r.err and r.out == b"")
    check("no list: nothing written", read(t + "/a.c") == IN)
    r = run(["-d", "*", "--", "t"], cwd=base)
    check("-d '*' takes every name as undefined", r.status == 0 and read(t + "/a.c") == WANT)

    # Exit statuses and the refused / failed split.
    st = base + "/st"
    write(st + "/clean.c", b"int x;\n")
    write(st + "/change.c", IN)
    write(st + "/guard.h", b"#ifdef _GUARD_H\n#endif\n")  # a name velkrun declines to settle
    write(st + "/bad.c", b"#if (DROP)\n#endif\n")
    lists = ["-d", "DROP,_GUARD_H"]
    r = run(["--check"] + lists + ["--", "st/clean.c"], cwd=base)
    check("status 0: nothing to do", r.status == 0)
    r = run(lists + ["--", "st/bad.c", "st/guard.h"], cwd=base)
    check("status 3: only refused files (%d)" % r.status,
          r.status == 3 and b"files seen 2, changed 0, unchanged 0, refused 2, failed 0\n" in r.out)
    check("refused files carry velkrun's message", b"velkrun-tree: st/bad.c: Error" in r.err and
          b"velkrun-tree: st/guard.h: " in r.err)
    r = run(["--check"] + lists + ["--", "st/bad.c", "st/clean.c"], cwd=base)
    check("status 3 with --check: refused, nothing would change", r.status == 3)
    r = run(["--check"] + lists + ["--", "st/bad.c", "st/change.c"], cwd=base)
    check("status 1 with --check: refused and a change", r.status == 1)
    r = run(["--dry-run"] + lists + ["--", "st/bad.c", "st/nothing-here", "st/clean.c"], cwd=base)
    check("missing PATH: failed, not seen", r.status == 1 and
          b"files seen 2, would change 0, unchanged 1, refused 1, failed 1\n" in r.out and
          b"velkrun-tree: st/nothing-here: no such file or folder\n" in r.err)
    five = stand_in(base, "velkrun-5", '"$VK" "$@" >/dev/null; exit 5')
    r = run(lists + ["--", "st/clean.c"], cwd=base, velkrun=five)
    check("another velkrun status is a failure", r.status == 1 and b"refused 0, failed 1" in r.out and
          b"st/clean.c: velkrun ended with status 5" in r.err)

    # A link named as PATH is rewritten through: the target changes, the link stays.
    ln = base + "/ln"
    write(ln + "/real.c", IN)
    os.symlink("real.c", ln + "/link.c")
    os.symlink("nowhere.c", ln + "/dangling.c")
    r = run(["--backup", ".orig", "-d", "DROP", "--", "ln/link.c"], cwd=base)
    check("link PATH: the target rewritten", r.status == 0 and read(ln + "/real.c") == WANT)
    check("link PATH: stays a link", os.path.islink(ln + "/link.c") and os.readlink(ln + "/link.c") == "real.c")
    check("link PATH: reported under its name", b"changed: ln/link.c\n" in r.out)
    check("link PATH: the backup beside the target", read(ln + "/real.c.orig") == IN)
    r = run(["-d", "DROP", "--", "ln/dangling.c"], cwd=base)
    check("dangling link PATH: a failure", r.status == 1 and b"ln/dangling.c: symbolic link to nothing" in r.err)
    r = run(["-d", "DROP", "--", "ln"], cwd=base)
    check("links met in a folder: still skipped", b"symbolic links skipped 2" in r.out)


# Started from a small process of its own: a child forked from this test would count the test's
# own peak memory as its own.
MEASURE = """import os, subprocess, sys
with open(sys.argv[1], "wb") as out:
    p = subprocess.Popen(sys.argv[2:], stdout=out, stderr=subprocess.DEVNULL)
    print(os.wait4(p.pid, 0)[2].ru_maxrss)
"""


def peak_memory_kib(args, cwd):
    """Runs velkrun-tree and returns its peak resident memory in KiB, with its stdout."""
    env = dict(os.environ, VELKRUN=ARGS.velkrun)
    out_path = os.path.join(cwd, "measured.out")
    p = subprocess.run([sys.executable, "-c", MEASURE, out_path] + tool_argv(args), cwd=cwd, env=env,
                       stdout=subprocess.PIPE, timeout=300)
    return int(p.stdout), read(out_path)


def test_diff_memory():
    """--diff holds the hunk it builds, not the file."""
    base = fresh("diffmem")
    line = b"int some_line_of_code_in_a_large_file = 1; int another = 1234567;\n"
    block = b"#ifdef DROP\nx\n#endif\n"
    write(base + "/small.c", block + line * 16384 + block)  # 1 MiB
    write(base + "/large.c", block + line * (16384 * 48) + block)  # 48 MiB, a hunk at each end
    small, small_out = peak_memory_kib(["--diff", "-d", "DROP", "--", "small.c"], base)
    large, large_out = peak_memory_kib(["--diff", "-d", "DROP", "--", "large.c"], base)
    check("--diff of a large file: both hunks written",
          small_out.count(b"\n-#ifdef DROP\n") == 2 and large_out.count(b"\n-#ifdef DROP\n") == 2)
    check("--diff memory does not grow with the file (%d KiB against %d KiB)" % (large, small),
          large - small < 8 * 1024)


def test_x_mode():
    """-x and lists with values pass on to velkrun, rewrites included."""
    base = fresh("x-mode")
    src = (b"#if defined(_WIN32) || VER < 3\nold\n#elif __has_include(<x.h>) && VER >= 3\n"
           b"new\n#endif\n#ifdef __cplusplus\ncpp\n#endif\n")
    write(base + "/t/a.c", src)
    opts = ["-x", "-l", "VER=3", "-d", "_WIN32"]
    want = subprocess.run([ARGS.velkrun] + opts + ["t/a.c"], cwd=base, stdout=subprocess.PIPE).stdout
    check("-x: velkrun itself simplifies", want == b"#if __has_include(<x.h>)\nnew\n#endif\n"
          b"#ifdef __cplusplus\ncpp\n#endif\n")
    r = run(["--quiet"] + opts + ["--", "t"], cwd=base)
    check("-x: the tree run exits 0", r.status == 0)
    check("-x: the rewrite is velkrun -x's output", read(base + "/t/a.c") == want)
    write(base + "/t/a.c", src)
    r = run(["--symbols", "-x", "-l", "VER=3", "-d", "_WIN32", "--", "t"], cwd=base)
    check("-x: a name with a value is defined", b"VER\t1\t2\t0\tdefined\n" in r.out)
    check("-x: names with _ are listed", b"_WIN32\t1\t1\t0\tundefined\n" in r.out and
          b"__cplusplus\t1\t1\t0\topen\n" in r.out)
    r = run(["--symbols", "-l", "VER=3", "--", "t"], cwd=base)
    check("a value without -x is an invalid list", r.status == 2 and b"invalid name" in r.err)
    write(base + "/t/w.c", b"#if VER && 1/0\nw\n#endif\n")
    r = run(["--quiet"] + opts + ["--", "t"], cwd=base)
    check("-x: a warning of velkrun is shown with its file",
          b"velkrun-tree: t/w.c: Warning: 1: [#if VER && 1/0]: kept as written.\n" in r.err)
    check("-x: a warning fails nothing", r.status == 0)
    check("-x: the file with the warning is rewritten as velkrun writes it",
          read(base + "/t/w.c") == b"#if VER && 1/0\nw\n#endif\n")
    # A directive -x rewrites is one line changed in the diff, the rest of the file context.
    g = b"a\nb\nc\nd\n#if defined(A) || defined(B)\nx\n#endif\ne\nf\ng\nh\n"
    write(base + "/g/g.c", g)
    r = run(["--diff", "-x", "-d", "A", "--", "g"], cwd=base)
    check("-x --diff: only the rewritten line changes",
          r.raw_out == b"--- g/g.c\n+++ g/g.c\n@@ -2,7 +2,7 @@\n b\n c\n d\n-#if defined(A) || defined(B)\n"
          b"+#if defined(B)\n x\n #endif\n e\n")
    if shutil.which("patch"):
        with open(base + "/g.diff", "wb") as f:
            f.write(r.raw_out)
        p = subprocess.run(["patch", "-p0", "-s", "-i", "g.diff"], cwd=base, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT)
        check("-x --diff: patch -p0 gives the rewrite", p.returncode == 0 and read(base + "/g/g.c") ==
              g.replace(b"defined(A) || ", b""))


def test_windows():
    """The Windows build: a rewrite, --check, --diff and -j under Wine on CR LF files, a tree named by
    drive letter and backslashes, and a read-only file."""
    base, t = rich_tree("windows")
    orig = base + "/orig"
    shutil.copytree(t, orig)
    lists = ["-d", "DROP", "-l", "KEEP"]
    r1 = run(["-j", "1", "--dry-run"] + lists + ["--", "tree"], cwd=base)
    r4 = run(["-j", "4", "--dry-run"] + lists + ["--", "tree"], cwd=base)
    check("windows: -j 1 and -j 4 agree", r1.out == r4.out and r1.err == r4.err and r1.status == r4.status == 3)
    check("windows: dry run summary",
          b"velkrun-tree: files seen 40, would change 28, unchanged 11, refused 1, failed 0\n" in r1.out)
    # The tree named by drive letter and backslashes, as a Windows user types it.
    dos = "Z:" + t.replace("/", "\\")
    r = run(["--dry-run"] + lists + ["--", dos], cwd=base)
    check("windows: a drive-letter path reads the same tree",
          r.status == 3 and r.out.splitlines()[-1:] == r1.out.splitlines()[-1:] and b"bad.c: Error" in r.err)
    check("windows: failure reported", b"velkrun-tree: tree/bad.c: Error" in r1.err)
    r = run(["--check"] + lists + ["--", "tree/same.h"], cwd=base)
    check("windows: --check on a clean file exits 0", r.status == 0)
    d = run(["--diff"] + lists + ["--", "tree"], cwd=base)
    check("windows: --diff writes CR LF lines as they are", b"\n-#ifdef DROP\r\n" in d.raw_out)
    check("windows: --diff writes nothing", same_tree(orig, t))
    r = run(["-j", "8"] + lists + ["--", "tree"], cwd=base)
    check("windows: rewrite with -j 8 exits 3 for the refused bad.c", r.status == 3)
    check("windows: rewrite with -j 8 summary",
          b"velkrun-tree: files seen 40, changed 28, unchanged 11, refused 1, failed 0\n" in r.out)
    check("windows: CR LF file rewritten with CR LF", read(t + "/crlf.c") == b"top\r\nstays\r\nend\r\n")
    for i in range(30):
        check("windows: many/f%02d.c rewritten under -j 8" % i,
              read(t + "/many/f%02d.c" % i) == nl(WANT if i % 3 else b"plain %d\n" % i))
    check("windows: file rewritten", read(t + "/a.c") == nl(WANT))
    check("windows: file with a blank rewritten", read(t + "/sub dir/my file.cpp") == nl(WANT))
    check("windows: unchanged file untouched", read(t + "/same.h") == read(orig + "/same.h"))
    check("windows: no temporary file left", no_temp_left(base))
    # A worker ended in the middle of a file fails that file only; its replacement goes on.
    kt = base + "/killed"
    for n in ("k1.c", "k2.c", "k3.c"):
        write(kt + "/" + n, nl(IN))
    r = run(["-j", "1", "-d", "DROP", "--", "killed"], cwd=base, env_extra={"VELKRUN_TREE_TEST_KILL": "k2.c"})
    check("windows: a killed worker fails its file only",
          r.status == 1 and b"killed/k2.c: velkrun crashed with exception 0xC000013A" in r.err and
          read(kt + "/k1.c") == nl(WANT) and read(kt + "/k2.c") == nl(IN) and read(kt + "/k3.c") == nl(WANT))
    r = run(["-d", "A-B", "--", "tree"], cwd=base)
    check("windows: refused options exit 2", r.status == 2 and b"invalid name" in r.err)
    r = run(["--", "tree"], cwd=base)
    check("windows: no list is a usage error", r.status == 2 and b"give -d '*'" in r.err)

    # Each file once, backups that never replace anything, read-only previews.
    ov = base + "/ov"
    write(ov + "/a.c", nl(IN))
    write(ov + "/b.c", nl(IN))
    write(ov + "/b.c.orig", b"left by patch\n")
    r = run(["--backup", ".orig", "-d", "DROP", "--", "ov", "./ov", "ov\\", "ov/a.c"], cwd=base)
    check("windows: overlapping PATHs, each file once",
          b"files seen 2, changed 1, unchanged 0, refused 0, failed 1\n" in r.out)
    check("windows: the backup holds the original", read(ov + "/a.c.orig") == nl(IN) and read(ov + "/a.c") == nl(WANT))
    check("windows: an existing backup is kept, its file not rewritten",
          read(ov + "/b.c.orig") == b"left by patch\n" and read(ov + "/b.c") == nl(IN) and
          b"./ov/b.c: backup ./ov/b.c.orig exists; not rewritten" in r.err and r.status == 1)
    check("windows: overlapping PATHs leave no temporary file", no_temp_left(ov))
    write(ov + "/ro.c", nl(IN), 0o444)
    r = run(["--check", "-d", "DROP", "--", "ov/ro.c"], cwd=base)
    check("windows: a read-only file is previewed", r.status == 1 and b"would change: ov/ro.c" in r.out)
    r = run(["-d", "DROP", "--", "ov/ro.c"], cwd=base)
    check("windows: a read-only file is not rewritten", r.status == 1 and read(ov + "/ro.c") == nl(IN))
    os.chmod(ov + "/ro.c", 0o644)
    two_runs_at_once(base, 30, "windows: ")
    # A read-only file (FILE_ATTRIBUTE_READONLY) in a folder of its own: previewed, never rewritten.
    write(base + "/ro/ro.c", nl(IN), 0o444)
    r = run(["--dry-run"] + lists + ["--", "ro"], cwd=base)
    check("windows: read-only file previewed", r.status == 0 and b"would change 1, unchanged 0, refused 0, failed 0" in r.out)
    r = run(lists + ["--", "ro"], cwd=base)
    check("windows: read-only file reported as a failure", r.status == 1 and b"read-only; not rewritten" in r.err)
    check("windows: read-only file left alone", read(base + "/ro/ro.c") == nl(IN))
    check("windows: no temporary file left beside it", no_temp_left(base + "/ro"))
    test_symbols_common("windows")


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    ap.add_argument("--velkrun", required=True)
    ap.add_argument("--tree", required=True)
    ap.add_argument("--scratch", required=True)
    ap.add_argument("--prefix", default="")
    ap.add_argument("--windows", action="store_true")
    ARGS = ap.parse_args()
    ARGS.velkrun = os.path.abspath(ARGS.velkrun)
    ARGS.tree = os.path.abspath(ARGS.tree)
    ARGS.scratch = os.path.abspath(ARGS.scratch)
    # Wine reaches the host's files through drive Z:.
    ARGS.velkrun_env = "Z:" + ARGS.velkrun.replace("/", "\\") if ARGS.windows else ARGS.velkrun
    shutil.rmtree(ARGS.scratch, ignore_errors=True)
    os.makedirs(ARGS.scratch)
    if ARGS.windows:
        test_windows()
    else:
        test_script_behaviour()
        test_modes()
        test_failures_posix()
        test_progress_posix()
        test_beside()
        test_symbols_common("posix")
        test_symbols_posix()
        test_edits_during_the_run()
        test_each_file_once_and_backups()
        test_statuses_and_previews()
        test_diff_memory()
        test_x_mode()
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    shutil.rmtree(ARGS.scratch, ignore_errors=True)
    print("all velkrun-tree checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
