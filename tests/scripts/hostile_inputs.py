#!/usr/bin/env python3
"""Huge and hostile inputs, end to end: each case generates its input (nothing large is stored),
runs the built velkrun on it and checks the exit status, the standard output and the standard
error. `--list` names the cases; `--case NAME` runs one; with neither, all run.
"""

import argparse
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

VELKRUN = None
TMP = None
CASES = {}

class TooLong:
    """The too-long-line message. The excerpt of an over-long line holds 999 bytes, so the
    formatter's 1024-byte limit cuts the message inside its last words ("Error: too long li");
    the line number and the excerpt come through whole."""

    HEAD = re.compile(rb"(\d+): \[[^\n]*\] \n")

    def __init__(self, end):
        self.full = b"Error: too long line found" + end
        self.pattern = b"%d: [excerpt] \n" + self.full

    def fullmatch(self, text):
        m = self.HEAD.match(text)
        if not m:
            return None
        rest = text[m.end():]
        cut = len(text) >= 1024 and self.full.startswith(rest)
        return m if rest == self.full or cut else None


TOO_LONG_TOP = TooLong(b"!\n")
TOO_LONG_IN = TooLong(b".\n")
NOT_CLOSED = b"Error: Ifdef statement does not close.\n"


def case(fn):
    CASES[fn.__name__] = fn
    return fn


class Failure(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise Failure(what)


def write(name, data):
    path = os.path.join(TMP, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


def run(args, path=None, stdout=subprocess.PIPE, **kw):
    cmd = [VELKRUN] + args + ([path] if path is not None else [])
    return subprocess.run(cmd, stdout=stdout, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, **kw)


def check_run(args, data, status, out, err=b"", name="input"):
    """Runs velkrun on data and compares status, stdout and stderr (err may be a regex)."""
    p = run(args, write(name, data))
    expect(p.returncode == status, "%s: status %d, want %d (stderr %r)" % (args, p.returncode, status, p.stderr[:200]))
    expect(p.stdout == out, "%s: stdout %r..., want %r..." % (args, p.stdout[:120], out[:120]))
    if not isinstance(err, bytes):
        expect(err.fullmatch(p.stderr), "%s: stderr %r does not match %s" % (args, p.stderr[:200], err.pattern))
    else:
        expect(p.stderr == err, "%s: stderr %r, want %r" % (args, p.stderr[:200], err))
    return p


# --- long lines --------------------------------------------------------------------------------

@case
def line_lengths_in_block():
    # The end-to-end suite has the top-level limits; the block processor reads its lines itself.
    for end in (b"\n", b"\r\n"):
        for n, ok in ((4093, True), (4094, False), (4095, False)):
            line = b"x" * n + end
            data = b"#ifdef A" + end + line + b"#endif" + end
            if ok:
                check_run(["-l", "A"], data, 0, line)
                check_run(["-l", "A", "-v"], data, 0, b"#ifdef A" + end + b"#endif" + end)
            else:
                p = check_run(["-l", "A"], data, 1, b"", TOO_LONG_IN)
                expect(TOO_LONG_IN.fullmatch(p.stderr).group(1) == b"2", "line number of the long line")
                check_run(["-l", "A", "-v"], data, 1, b"#ifdef A" + end, TOO_LONG_IN)


@case
def line_of_4095_with_newline():
    check_run([], b"a\n" + b"x" * 4095 + b"\n", 1, b"a\n", TOO_LONG_TOP)
    check_run([], b"a\r\n" + b"x" * 4095 + b"\r\n", 1, b"a\r\n", TOO_LONG_TOP)


@case
def last_line_without_newline():
    check_run([], b"a\n" + b"y" * 4094, 0, b"a\n" + b"y" * 4094)
    check_run([], b"a\n" + b"y" * 4095, 1, b"a\n", TOO_LONG_TOP)


@case
def excerpt_of_long_line_is_cut():
    p = check_run([], b"a\n" * 99999 + b"z" * 5000 + b"\n", 1, b"a\n" * 99999, TOO_LONG_TOP)
    expect(p.stderr.startswith(b"100000: [" + b"z" * 999 + b"] \nError: too lo"), "%r" % p.stderr[-40:])


# --- odd bytes ---------------------------------------------------------------------------------

@case
def only_quotes():
    for q in (b'"', b"'"):
        for count in (4093, 4094 * 3 + 1):
            body = b"".join(q * min(4093, count - i) + b"\n" for i in range(0, count, 4093))
            check_run([], body, 0, body)
            check_run(["-v"], body, 0, b"")
    # A literal left open hides the directives that follow, to the end of the file.
    data = b"'\n#ifdef A\nx\n#endif\n"
    check_run(["-d", "A"], data, 0, data)


@case
def only_comment_openers():
    body = (b"/*" * 2046 + b"\n") * 50
    check_run([], body, 0, body)
    check_run(["-T", "-l", "A"], body, 0, body)
    check_run([], b"/*/\n#ifdef A\n*/\n", 0, b"/*/\n#ifdef A\n*/\n")


@case
def input_ends_inside_comment_or_literal():
    for data in (b"/* open\n#ifdef A\n", b"x = \"open\n#ifdef A", b"c = 'x\n#endif\n", b"a // \\"):
        check_run(["-d", "A"], data, 0, data)


@case
def input_ends_inside_conditional():
    check_run(["-l", "A"], b"p\n#ifdef A\nx", 1, b"p\nx", NOT_CLOSED)
    check_run(["-l", "A", "-v"], b"p\n#ifdef A\nx", 1, b"#ifdef A\n", NOT_CLOSED)
    check_run(["-d", "A"], b"#ifdef A\n#ifdef B\n/* c\n", 1, b"", NOT_CLOSED)
    check_run(["-l", "B"], b"#ifdef A\n#else\ny\n", 1, b"#ifdef A\n#else\ny\n", NOT_CLOSED)


# --- nesting and sizes -------------------------------------------------------------------------

@case
def nested_100000_mixed():
    # Straight #ifdef nesting is in the end-to-end suite; here #if and #ifndef alternate, and the
    # deepest level opens a literal that hides every closing line: they are written as text and
    # the run ends with all 100000 conditionals open.
    depth = 100000
    alternating = b"#if A || B\n#ifndef C\n" * (depth // 2) + b"y\n" + b"#endif\n" * depth
    check_run(["-lA", "A"], alternating, 0, b"y\n")
    check_run(["-lA", "C"], alternating, 0, b"")
    check_run(["-l", "A", "-d", "C"], alternating, 0, b"y\n")
    check_run(["-l", "X"], alternating, 0, alternating)
    literal = b"#ifdef A\n" * depth + b"'\n" + b"#endif\n" * depth
    check_run(["-l", "A"], literal, 1, b"'\n" + b"#endif\n" * depth, NOT_CLOSED)


@case
def patterns_of_4000_stars():
    data = b"#ifdef ABC\n1\n#endif\n#if defined(X) || Y\n2\n#endif\n#ifdef Q\n3\n#else\n4\n#endif\n"
    stars = "*" * 4000
    check_run(["-l", stars], data, 0, b"1\n2\n3\n")
    check_run(["-d", stars, "-l", "ABC"], data, 0, b"4\n")
    check_run(["-lA", "A" + stars + "C"], data, 0, b"1\n4\n")
    check_run(["-lA", "*A" * 2000 + "*"], data, 0, b"4\n")
    check_run(["-lA", "?" * 4000], data, 0, b"4\n")
    long_name = b"N" * 255
    check_run(["-lA", "N" + stars], b"#ifdef " + long_name + b"\nz\n#endif\n", 0, b"z\n")


@case
def huge_command_lines():
    data = b"#ifdef A\nx\n#endif\n"
    p = run(["-l", "," * 100000], write("input", data))
    expect(p.returncode == 1 and p.stdout == b"" and b"too many names" in p.stderr, "100000 empty names")
    check_run(["-l", "A" * 100000], data, 0, data)
    check_run(["-l", " " * 100000], data, 0, data)
    check_run(["-l", "*?" * 50000], data, 0, data)
    check_run(["-l", "*?" * 50000 + ",A"], data, 0, b"x\n")
    check_run(["-n"] * 30000 + ["-lA", "A"], data, 0, b"     2: x\n")


# --- one gibibyte, streamed --------------------------------------------------------------------

BLOCK = b"".join([
    b"/* block of generated code: 'quotes' and \"strings\" */\n",
    b"#ifdef KEEP\n", b"int kept = 1;\n", b"#else\n", b"int gone = 0;\n", b"#endif\n",
    b"#if defined(KEEP) && !defined(DROP)\n", b"#ifndef DROP\n", b"static const char *s = \"#endif\";\n",
    b"#endif\n", b"#else\n", b"x\n", b"#endif\n",
    b"#ifdef UNSET\n", b"  // left as written: UNSET is in no list\n", b"#endif\n",
    b"x" * 3000 + b"\n",
])


def high_water_kib(pid):
    """Peak resident memory of the running process so far (VmHWM), or 0 once it has ended. Read
    from /proc while it runs, since the rusage of a child also counts the memory of the forked
    parent before the exec."""
    try:
        with open("/proc/%d/status" % pid, "rb") as f:
            for line in f:
                if line.startswith(b"VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def peak_rss_of(args, size):
    """Streams about size bytes of repeated BLOCKs through velkrun via a FIFO, so the input is
    never stored; returns the sha256 of the output, the child's peak RSS in KiB, the output size,
    the repeated unit and its count."""
    fifo = os.path.join(TMP, "fifo")
    if os.path.exists(fifo):
        os.unlink(fifo)
    os.mkfifo(fifo)
    block = BLOCK * max(1, (1 << 20) // len(BLOCK))
    count = size // len(block)
    proc = subprocess.Popen([VELKRUN] + args + [fifo], stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def feed():
        with open(fifo, "wb") as f:
            for _ in range(count):
                f.write(block)
    feeder = threading.Thread(target=feed)
    feeder.start()
    peaks = [0]

    def watch():
        while proc.poll() is None:
            peaks[0] = max(peaks[0], high_water_kib(proc.pid))
            time.sleep(0.005)
    watcher = threading.Thread(target=watch)
    watcher.start()
    h = hashlib.sha256()
    total = 0
    while True:
        chunk = proc.stdout.read(1 << 20)
        if not chunk:
            break
        h.update(chunk)
        total += len(chunk)
    err = proc.stderr.read()
    proc.wait()
    feeder.join()
    watcher.join()
    peak = peaks[0]
    expect(proc.returncode == 0 and not err, "%s over %d bytes: status %d, stderr %r"
           % (args, size, proc.returncode, err[:200]))
    expect(peak > 0, "no memory reading of the running process")
    return h.hexdigest(), peak, total, block, count


@case
def one_gibibyte_streamed():
    args = ["-l", "KEEP", "-d", "DROP"]
    _, small_rss, small_out, block, small_count = peak_rss_of(args, 64 << 20)
    big_hash, big_rss, big_out, block, count = peak_rss_of(args, 1 << 30)
    # Every block gives the same output, so the big output is the block's output repeated.
    p = run(args, write("block", block))
    expect(small_out == len(p.stdout) * small_count, "64 MiB output size %d" % small_out)
    expect(big_out == len(p.stdout) * count, "1 GiB output size %d, want %d" % (big_out, len(p.stdout) * count))
    want = hashlib.sha256()
    for _ in range(count):
        want.update(p.stdout)
    expect(big_hash == want.hexdigest(), "1 GiB output differs from the repeated block output")
    print("peak RSS: %d KiB over 64 MiB, %d KiB over 1 GiB" % (small_rss, big_rss))
    expect(big_rss <= small_rss + 4096, "memory grows with the input: %d KiB -> %d KiB" % (small_rss, big_rss))


def main():
    global VELKRUN, TMP
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--velkrun")
    ap.add_argument("--case", action="append")
    ap.add_argument("--list", action="store_true")
    opts = ap.parse_args()
    if opts.list:
        print(";".join(CASES))
        return 0
    VELKRUN = opts.velkrun
    names = opts.case or list(CASES)
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        TMP = tmp
        for name in names:
            try:
                CASES[name]()
                print("ok   %s" % name)
            except Failure as e:
                failed += 1
                print("FAIL %s: %s" % (name, e))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
