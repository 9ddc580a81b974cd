#!/usr/bin/env python3
"""Differential test of velkrun's reading paths.

velkrun reads its input either line by line (VELK_SIMD=lines) or in bulk, with the byte
classification at one of several instruction-set levels (VELK_SIMD=portable, sse2, avx2,
avx512; a level the processor lacks falls back to the best it has). Every path must give the
same standard output, standard error and exit status. This runs each path over

  --e2e TOPIC     the end-to-end cases of tests/e2e/TOPIC: each case's own command, and every
                  input file of the case under each option set below;
  --corpus        generated inputs (bench/make_corpus.py, 1 MiB, with and without #elif) under
                  each option set,

and compares every path with the line-by-line one.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
E2E = os.path.join(ROOT, "tests", "e2e")

REFERENCE = "lines"
PATHS = ("portable", "sse2", "avx2", "avx512")

# Names for the e2e inputs (short names, wildcards) and for the generated corpus.
E2E_LA = "A,B*,X?,DEBUG,FOO,CONFIG_*,HAVE_*_H,_*"
E2E_L = "A,DEBUG,CONFIG_*"
E2E_D = "B,X*,NDEBUG"
CORPUS_LA = ("CONFIG_NET*,CONFIG_?MP,CONFIG_P*,HAVE_*_H,HAVE_MMAP,HAVE_EPOLL,USE_SSL,USE_Z*,"
             "USE_SJIS,ENABLE_FAST_*,WITH_*,OS_LINUX,ARCH_X86_64,FEATURE_A?,FEATURE_*NAME*,"
             "LEGACY_*_V2,DEBUG,TRACE*,VERBOSE,*_STATS")
CORPUS_L = "CONFIG_*,HAVE_*,WITH_*,DEBUG"
CORPUS_D = "USE_*,ENABLE_*,NDEBUG"


def option_sets(la, l_list, d_list):
    """The option sets every input runs under."""
    return [
        ["-lA", la],
        ["-l", l_list, "-d", d_list],
        ["-n", "-lA", la],
        ["-v", "-lA", la],
        ["-T", "-lA", la],
        ["-v", "-n", "-l", l_list, "-d", d_list],
        ["-T", "-v", "-n", "-lA", la],
        [],
    ]


# Files of a case folder that are not inputs.
NOT_INPUTS = {"cmd", "stdout", "stderr", "status", "stdout.win", "stderr.win", "status.win",
              "gen.py", "stdout-to", "posix-only", "windows-only"}


def run(binary, args, cwd, path, stdout_to=None):
    env = dict(os.environ)
    env["VELK_SIMD"] = path
    out = open(stdout_to, "wb") if stdout_to else subprocess.PIPE
    try:
        p = subprocess.run([binary] + args, cwd=cwd, env=env, stdout=out,
                           stderr=subprocess.PIPE, timeout=120)
    finally:
        if stdout_to:
            out.close()
    return (p.stdout if not stdout_to else b"", p.stderr, p.returncode)


class Checker:
    def __init__(self, binary, sample):
        self.binary = binary
        self.sample = sample
        self.seen = 0  # comparisons offered, of which every sample-th is run
        self.runs = 0
        self.failures = []

    def compare(self, label, args, cwd, stdout_to=None):
        self.seen += 1
        if (self.seen - 1) % self.sample:
            return
        want = run(self.binary, args, cwd, REFERENCE, stdout_to)
        self.runs += 1
        for path in PATHS:
            got = run(self.binary, args, cwd, path, stdout_to)
            self.runs += 1
            if got != want:
                what = [n for n, a, b in zip(("stdout", "stderr", "status"), got, want) if a != b]
                first = ""
                if got[0] != want[0]:
                    i = next((k for k, (a, b) in enumerate(zip(got[0], want[0])) if a != b),
                             min(len(got[0]), len(want[0])))
                    first = " (stdout differs first at byte %d of %d/%d)" % (
                        i, len(got[0]), len(want[0]))
                self.failures.append("%s: VELK_SIMD=%s %s: %s differ%s" % (
                    label, path, " ".join(args), ", ".join(what), first))


def check_e2e(checker, topic, scratch):
    topic_dir = os.path.join(E2E, topic)
    cases = sorted(c for c in os.listdir(topic_dir)
                   if os.path.isfile(os.path.join(topic_dir, c, "cmd")))
    if not cases:
        sys.exit("no e2e cases under %s" % topic_dir)
    for case in cases:
        work = os.path.join(scratch, topic, case)
        shutil.copytree(os.path.join(topic_dir, case), work)
        if os.path.exists(os.path.join(work, "gen.py")):
            subprocess.run([sys.executable, "gen.py"], cwd=work, check=True)
        with open(os.path.join(work, "cmd"), "rb") as f:
            data = f.read()
        if data.endswith(b"\n"):
            data = data[:-1]
        args = [os.fsdecode(a) for a in data.split(b"\n")] if data else []
        stdout_to = None
        if os.path.exists(os.path.join(work, "stdout-to")):
            with open(os.path.join(work, "stdout-to")) as f:
                stdout_to = f.read().strip()
        label = "e2e/%s/%s" % (topic, case)
        checker.compare(label, args, work, stdout_to)
        for name in sorted(os.listdir(work)):
            if name in NOT_INPUTS or not os.path.isfile(os.path.join(work, name)):
                continue
            for opts in option_sets(E2E_LA, E2E_L, E2E_D):
                checker.compare("%s/%s" % (label, name), opts + [name], work)
        shutil.rmtree(work)


def check_corpus(checker, scratch):
    for variant, flag in (("elif", []), ("noelif", ["--no-elif"])):
        path = os.path.join(scratch, "corpus-%s.c" % variant)
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "make_corpus.py"), "--seed",
                        "3"] + flag + ["1M", path], check=True)
        for opts in option_sets(CORPUS_LA, CORPUS_L, CORPUS_D):
            # -l/-d refuses #elif, so those sets only mean something on the variant without it;
            # they still must fail alike on the other.
            checker.compare("corpus-%s" % variant, opts + [path], scratch)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--velkrun")
    ap.add_argument("--e2e", metavar="TOPIC", help="end-to-end topic folder to run")
    ap.add_argument("--corpus", action="store_true", help="run the generated corpus")
    ap.add_argument("--sample", type=int, default=1, metavar="N",
                    help="run every N-th comparison only (slow builds)")
    ap.add_argument("--list-topics", action="store_true")
    a = ap.parse_args()
    if a.list_topics:
        print("\n".join(sorted(t for t in os.listdir(E2E) if os.path.isdir(os.path.join(E2E, t)))))
        return 0
    if not a.velkrun:
        ap.error("--velkrun is required")
    checker = Checker(os.path.abspath(a.velkrun), max(1, a.sample))
    scratch = tempfile.mkdtemp(prefix="velk-diff-")
    try:
        if a.e2e:
            check_e2e(checker, a.e2e, scratch)
        if a.corpus:
            check_corpus(checker, scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    if checker.runs == 0:
        sys.exit("nothing was run: give --e2e TOPIC or --corpus")
    for f in checker.failures[:40]:
        print(f)
    print("%d runs, %d differences" % (checker.runs, len(checker.failures)))
    return 1 if checker.failures else 0


if __name__ == "__main__":
    sys.exit(main())
