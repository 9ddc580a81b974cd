#!/usr/bin/env python3
"""Runs velkrun over every header under a directory (default /usr/include) with several option
sets and checks the properties that must hold for any input:

- a list that settles no name gives back the input byte for byte;
- under -n, a run and the same run with -v together write every input line exactly once, each
  behind its own number and with its input bytes;
- a second -lA run over the output of a first one changes nothing;
- a failing run ends with status 1 and exactly one known message, and what it wrote before is
  the part of the successful output that precedes the failing line.

Prints the counts of files, runs, successes and each kind of failure; exits 1 on any violation.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

# No header uses this name, so -l of it leaves every conditional as written.
NO_SUCH_NAME = "VELK_NAME_NO_HEADER_USES"

# Lists with names that real headers test, so that many conditionals are settled.
LIST_A = "__GNUC__,__STDC__,__x86_64__,_GNU_SOURCE,__USE_*,__linux__,__*_H"
LIST_D = "__cplusplus,__STRICT_ANSI__,_WIN32,__APPLE__"
LIST_L = "__GNUC__,__x86_64__,_LARGEFILE*,__USE_MISC"

# Option sets of the partition check: each runs with -n and with -n -v.
PARTITION_SETS = {
    "lA": ["-lA", LIST_A],
    "d+l": ["-d", LIST_D, "-l", LIST_L],
    "none-T": ["-T"],
}

EXCERPT = r"\[[^\n]*\]"
# Every message a run over a readable file can end with; the group, where there is one, is the
# line number. The key names the kind of failure in the counts.
MESSAGES = [
    ("too long line", re.compile(r"(\d+): " + EXCERPT + r" \nError: too long line found[!.]\n")),
    ("elif outside", re.compile(r"Error: (\d+): " + EXCERPT + r": cannot analyze!\n")),
    ("unmatched #endif", re.compile(r"Error: (\d+): \[#[ \t]*endif[^\n]*\]: does not correspond\.\n")),
    ("unmatched #else", re.compile(r"Error: (\d+): " + EXCERPT + r": does not correspond\.\n")),
    ("elif unsettled", re.compile(r"Error: (\d+): #elif: cannot leave or delete\.\n")),
    ("cannot analyze", re.compile(r"Error: (\d+): " + EXCERPT + r": cannot analyze\.\n")),
    ("invalid statement", re.compile(r"Error: (\d+): " + EXCERPT + r": invalid statement\.\n")),
    ("too long data", re.compile(r"Error: (\d+): " + EXCERPT + r": too long data\n")),
    ("comment not closed", re.compile(r"Error: (\d+): " + EXCERPT + r": comment is not closed\.\n")),
    ("Error(#1)", re.compile(r"Error\(#1\): (\d+): " + EXCERPT + r": cannot analyze\.\n")),
    ("Error(#2)", re.compile(r"Error\(#2\): (\d+): " + EXCERPT + r": cannot analyze\.\n")),
    ("Error(#3)", re.compile(r"Error\(#3\): (\d+): " + EXCERPT + r": cannot analyze\.\n")),
    ("Error(#4)", re.compile(r"Error\(#4\): (\d+): " + EXCERPT + r": cannot analyze\.\n")),
    ("Error(#5)", re.compile(r"Error\(#5\): (\d+): " + EXCERPT + r": cannot analyze\.\n")),
    ("Error(#6)", re.compile(r"Error\(#6\): (\d+): " + EXCERPT + r": cannot analyze\.\n")),
    ("not closed", re.compile(r"Error: Ifdef statement does not close\.\n")),
]

NUMBERED = re.compile(rb" *(\d+): ")

# Nearly every header opens with a guard such as #ifndef _STDIO_H, whose leading underscore the
# #ifdef/#ifndef operand does not accept, so the run ends at the guard. A tamed copy, in which
# such operands get a U in front, lets the checks reach the rest of the header as well.
GUARD = re.compile(rb"^([ \t]*#[ \t]*ifn?def[ \t]+)_", re.M)


def tame(data):
    return GUARD.sub(rb"\1U_", data)


def split_lines(data):
    """The input's lines as velkrun reads them: each with its newline, the last maybe without."""
    parts = data.split(b"\n")
    return [p + b"\n" for p in parts[:-1]] + ([parts[-1]] if parts[-1] else [])


def classify(stderr):
    """(kind, line number or None) of a one-message stderr, or None when it is no known message."""
    text = stderr.decode("latin-1")
    for kind, rx in MESSAGES:
        m = rx.fullmatch(text)
        if m:
            return kind, int(m.group(1)) if m.groups() else None
    return None


class Checker:
    def __init__(self, velkrun, scratch):
        self.velkrun = velkrun
        self.scratch = scratch  # this checker's own prefix for second-pass inputs and tamed copies
        self.tamed = 0
        self.runs = 0
        self.ok = 0
        self.fail_kinds = {}
        self.violations = []

    def run(self, args, path):
        p = subprocess.run([self.velkrun] + args + [path], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
        self.runs += 1
        if p.returncode == 0 and not p.stderr:
            self.ok += 1
            return p.stdout, None
        kind = classify(p.stderr) if p.returncode == 1 else None
        if kind is None:
            self.violate(path, args, "status %d with stderr %r" % (p.returncode, p.stderr[:300]))
            return p.stdout, ("unknown", None)
        self.fail_kinds[kind[0]] = self.fail_kinds.get(kind[0], 0) + 1
        return p.stdout, kind

    def violate(self, path, args, what):
        self.violations.append("%s %s: %s" % (self.current, " ".join(args), what))

    @staticmethod
    def lines_before(failure, nlines):
        """How many leading input lines a run that failed so may have dealt with, or None when
        the message names no line (the whole input was read)."""
        kind, line = failure
        if line is None:
            return nlines
        # An unmatched #endif is written before its message; other failing lines are not.
        return line if kind == "unmatched #endif" else line - 1

    def check_identity(self, path, data, lines):
        args = ["-l", NO_SUCH_NAME]
        out, failure = self.run(args, path)
        if failure is None:
            if out != data:
                self.violate(path, args, "output differs from the input")
            return
        if failure[0] == "unknown":
            return
        upto = self.lines_before(failure, len(lines))
        if out != b"".join(lines[:upto]):
            self.violate(path, args, "output before the failure (%d bytes) is not the input's first %d lines"
                         % (len(out), upto))

    def numbered(self, path, args, out, lines):
        """Parses -n output into {number: text}; records a violation for any malformed line."""
        got = {}
        pos = 0
        last = 0
        while pos < len(out):
            m = NUMBERED.match(out, pos)
            if not m:
                self.violate(path, args, "unnumbered output at byte %d" % pos)
                return got
            no = int(m.group(1))
            if no <= last or no > len(lines):
                self.violate(path, args, "line number %d out of order or range" % no)
                return got
            want = lines[no - 1]
            text = out[m.end():m.end() + len(want)]
            if text != want:
                self.violate(path, args, "line %d written as %r" % (no, text[:80]))
                return got
            got[no] = text
            pos = m.end() + len(want)
            last = no
        return got

    def check_partition(self, path, lines, name, opts):
        kept_args = ["-n"] + opts
        gone_args = ["-n", "-v"] + opts
        kept_out, kept_fail = self.run(kept_args, path)
        gone_out, gone_fail = self.run(gone_args, path)
        kept = self.numbered(path, kept_args, kept_out, lines)
        gone = self.numbered(path, gone_args, gone_out, lines)
        both = set(kept) & set(gone)
        if both:
            self.violate(path, kept_args, "lines written by both runs: %s" % sorted(both)[:10])
        if (kept_fail is None) != (gone_fail is None):
            self.violate(path, kept_args, "only one of the -v pair fails: %s / %s" % (kept_fail, gone_fail))
            return
        if kept_fail is None:
            upto = len(lines)
        elif kept_fail[0] == "unknown" or gone_fail[0] == "unknown":
            return
        elif kept_fail != gone_fail:
            self.violate(path, kept_args, "the -v pair fails differently: %s / %s" % (kept_fail, gone_fail))
            return
        else:
            upto = self.lines_before(kept_fail, len(lines))
        want = set(range(1, upto + 1))
        have = set(kept) | set(gone)
        if have != want:
            missing = sorted(want - have)[:10]
            extra = sorted(have - want)[:10]
            self.violate(path, kept_args, "partition broken (%s): missing %s, extra %s" % (name, missing, extra))

    def check_second_pass(self, path):
        args = ["-lA", LIST_A]
        out, failure = self.run(args, path)
        if failure is not None:
            return
        again_path = self.scratch + "-again"
        with open(again_path, "wb") as f:
            f.write(out)
        again, failure2 = self.run(args, again_path)
        if failure2 is not None:
            self.violate(path, args, "second pass fails: %s" % (failure2,))
        elif again != out:
            self.violate(path, args, "second pass changes the output")

    def check_all(self, path, data, sets):
        lines = split_lines(data)
        self.check_identity(path, data, lines)
        for name in sets:
            self.check_partition(path, lines, name, PARTITION_SETS[name])

    def check_file(self, path):
        with open(path, "rb") as f:
            data = f.read()
        tamed = tame(data)
        if tamed == data:
            self.check_all(path, data, PARTITION_SETS)
            self.check_second_pass(path)
            return
        # The original stops at its guard: one option set suffices there.
        self.check_all(path, data, ["lA"])
        self.tamed += 1
        tamed_path = self.scratch + "-tamed"
        with open(tamed_path, "wb") as f:
            f.write(tamed)
        self.check_all(tamed_path, tamed, PARTITION_SETS)
        self.check_second_pass(tamed_path)


def headers(root, sample):
    found = []
    seen = set()
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        for name in sorted(filenames):
            path = os.path.join(dirpath, name)
            real = os.path.realpath(path)
            if os.path.isfile(real) and real not in seen:
                seen.add(real)
                found.append(path)
    return found[::sample]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--velkrun", required=True)
    ap.add_argument("--root", default="/usr/include")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--sample", type=int, default=1, help="check every N-th file only")
    ap.add_argument("--show", type=int, default=20, help="violations to print")
    opts = ap.parse_args()

    files = headers(opts.root, opts.sample)
    if not files:
        print("no files under %s" % opts.root)
        return 1
    start = time.time()
    with tempfile.TemporaryDirectory() as tmp:
        # One checker per worker thread; each spawns its own velkrun processes, so the threads
        # run in parallel although the checks are Python.
        checkers = [Checker(opts.velkrun, os.path.join(tmp, "again-%d" % k)) for k in range(opts.jobs)]
        batches = [files[i::opts.jobs] for i in range(opts.jobs)]

        def work(k):
            c = checkers[k]
            for path in batches[k]:
                c.current = path
                c.check_file(path)

        with ThreadPoolExecutor(opts.jobs) as pool:
            list(pool.map(work, range(opts.jobs)))
    runs = sum(c.runs for c in checkers)
    ok = sum(c.ok for c in checkers)
    kinds = {}
    for c in checkers:
        for k, n in c.fail_kinds.items():
            kinds[k] = kinds.get(k, 0) + n
    violations = [v for c in checkers for v in c.violations]

    print("files: %d (every %d-th under %s), %d also checked as tamed copies"
          % (len(files), opts.sample, opts.root, sum(c.tamed for c in checkers)))
    print("runs: %d, succeeded: %d, failed: %d" % (runs, ok, runs - ok))
    for k in sorted(kinds, key=lambda k: -kinds[k]):
        print("  failed with %-20s %d" % (k + ":", kinds[k]))
    print("time: %.1f s" % (time.time() - start))
    for v in violations[:opts.show]:
        print("VIOLATION " + v)
    print("violations: %d" % len(violations))
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
