#!/usr/bin/env python3
"""velkrun-tree's workers give every file exactly what velkrun alone gives it.

Over the inputs of the end-to-end cases and a generated tree, with each option set velkrun-tree
passes on: the tree run through the workers leaves each file as velkrun's output when velkrun
succeeds, and as it was, with velkrun's messages reported for it, when velkrun fails; its standard
output, standard error, exit status and resulting tree are byte for byte those of a run that
starts velkrun once per file (VELKRUN). A worker killed in the middle of a file fails that file
only, and the worker that replaces it goes on with the rest.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys

failures = []

OPTION_SETS = [
    ["-d", "*"],
    ["-lA", "A,B*,DEBUG"],
    ["-l", "A,DEBUG,X", "-d", "B,C?,NDEBUG"],
    ["-T", "-d", "*"],
    ["-T", "-l", "X*", "-d", "Y"],
    ["-l", "*", "-lA", "FOO"],
    ["-x", "-l", "A=2,DEBUG", "-d", "B*,NDEBUG"],
]


def check(what, ok):
    if not ok:
        failures.append(what)
        print("FAIL: " + what)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def e2e_inputs(root, dest):
    """Copies every input file of the end-to-end cases under dest, keeping its case's path."""
    skip = {"cmd", "stdout", "stderr", "status", "gen.py", "stdout-to", "posix-only"}
    for d, _, files in os.walk(root):
        for f in files:
            if f in skip or f.endswith(".win") or f.endswith(".py") or f == "CMakeLists.txt":
                continue
            src = os.path.join(d, f)
            rel = os.path.relpath(src, root)
            name = rel if rel.endswith((".c", ".h")) else rel + ".c"
            write(os.path.join(dest, "e2e", name), read(src))


def generated(dest, seed):
    """Random conditionals over a few names, line ends, comments and strings; a file larger than
    any pipe, a file of 250,000 nested conditionals, files with no last newline or no text."""
    rnd = random.Random(seed)
    names = ["A", "B", "C1", "DEBUG", "X", "XY", "Y", "FOO", "NDEBUG", "_GUARD_H"]

    def cond():
        kind = rnd.randrange(6)
        n = rnd.choice(names)
        if kind == 0:
            return "#ifdef %s" % n
        if kind == 1:
            return "#ifndef %s" % n
        if kind == 2:
            return "#if defined(%s) || %s" % (n, rnd.choice(names))
        if kind == 3:
            return "#if !defined(%s) && defined(%s)" % (n, rnd.choice(names))
        if kind == 4:
            return "#if %s" % rnd.choice(["0", "1", n])
        if kind == 5 and rnd.random() < 0.2:
            return "#  if defined %s" % n  # not read by velkrun: the file is declined
        return "#  ifdef %s" % n

    def body(depth, out):
        for _ in range(rnd.randrange(1, 6)):
            r = rnd.random()
            if r < 0.3 and depth < 6:
                out.append(cond())
                body(depth + 1, out)
                if rnd.random() < 0.3:
                    out.append("#elif %s" % rnd.choice(names))
                    body(depth + 1, out)
                if rnd.random() < 0.4:
                    out.append("#else")
                    body(depth + 1, out)
                out.append("#endif /* x */" if rnd.random() < 0.2 else "#endif")
            elif r < 0.4:
                out.append('char *s = "#ifdef A"; /* #endif */')
            elif r < 0.45:
                out.append("/* a comment\n#ifdef A\nspans lines */")
            elif r < 0.5:
                out.append("#define %s 1" % rnd.choice(names))
            else:
                out.append("int v%d;" % rnd.randrange(1000))

    for i in range(60):
        lines = []
        body(0, lines)
        text = "\n".join(lines) + "\n"
        if i % 7 == 3:
            text = text.replace("\n", "\r\n")
        if i % 11 == 5:
            text = text.rstrip("\n")
        if i % 13 == 0:
            text += "#endif\n"  # a stray line: velkrun declines the file
        if i % 17 == 1:
            text = "#ifdef A\n" + text  # never closed
        write(os.path.join(dest, "gen", "d%d" % (i % 5), "f%02d.c" % i), text.encode())
    write(os.path.join(dest, "gen", "empty.c"), b"")
    big = b"".join(b"#ifdef DEBUG\nint d%d;\n#else\nint n%d;\n#endif\nint keep%d;\n" % (i, i, i)
                   for i in range(40000))
    write(os.path.join(dest, "gen", "big.c"), big)
    depth = 250000
    write(os.path.join(dest, "gen", "deep.c"),
          b"#ifdef A\n" * depth + b"x\n" + b"#else\ny\n#endif\n" * depth)


def run(argv, env_velkrun=None, extra_env=None, cwd=None):
    env = dict(os.environ)
    env.pop("VELKRUN", None)
    env.pop("VELKRUN_TREE_TEST_KILL", None)
    if env_velkrun:
        env["VELKRUN"] = env_velkrun
    if extra_env:
        env.update(extra_env)
    return subprocess.run(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=600)


def files_of(root):
    out = {}
    for d, _, files in os.walk(root):
        for f in files:
            p = os.path.join(d, f)
            out[os.path.relpath(p, root)] = read(p)
    return out


def named(rel):
    """The name the tree gives a file found under "."."""
    return "./" + rel


def alone(opts, base, rel):
    """velkrun on one file: (output, messages, status)."""
    p = run([ARGS.velkrun] + opts + [named(rel)], cwd=base)
    return p.stdout, p.stderr, p.returncode


def expected(opts, base, files):
    """What each file becomes and which lines the tree reports for it, from velkrun alone."""
    want_files, want_err, refused, changed = {}, {}, 0, 0
    for rel, data in files.items():
        out, err, status = alone(opts, base, rel)
        if status == 0:
            want_files[rel] = out
            changed += out != data
        else:
            want_files[rel] = data
            refused += status == 1
        # A failing velkrun's message, or the warnings of one that succeeded (-x).
        lines = [l.rstrip(b"\r") for l in err.split(b"\n")]
        if any(lines):
            want_err[rel] = [b"velkrun-tree: " + named(rel).encode() + b": " + l for l in lines if l]
    return want_files, want_err, refused, changed


def reported(err):
    """The lines of the tree's standard error per file."""
    per = {}
    for line in err.split(b"\n"):
        if line.startswith(b"velkrun-tree: ") and b": files " not in line:
            name = line[len(b"velkrun-tree: "):].split(b": ", 1)[0].decode()
            per.setdefault(name[2:] if name.startswith("./") else name, []).append(line)
    return per


def test_same_as_alone(scratch):
    src = os.path.join(scratch, "src")
    e2e_inputs(ARGS.e2e, src)
    generated(src, 23)
    files = files_of(src)
    for k, opts in enumerate(OPTION_SETS):
        if ARGS.sets is not None and k not in ARGS.sets:
            continue
        tag = " ".join(opts)
        want_files, want_err, refused, changed = expected(opts, src, files)
        results = []
        for how, velkrun in (("workers", None), ("velkrun per file", ARGS.velkrun)):
            for mode in (["--dry-run"], []):
                work = os.path.join(scratch, "run%d-%s-%d" % (k, "w" if velkrun is None else "v", len(mode)))
                shutil.copytree(src, work)
                r = run([ARGS.tree, "-j", "2"] + mode + opts + ["--", "."], env_velkrun=velkrun, cwd=work)
                results.append((r.stdout, r.stderr, r.returncode, files_of(work)))
                if how != "workers":
                    continue
                got = files_of(work)
                if mode:
                    check("%s %s: a preview changes nothing" % (tag, mode), got == files)
                else:
                    bad = [f for f in files if got.get(f) != want_files[f]]
                    check("%s: each file as velkrun alone makes it (%s)" % (tag, bad[:5]), not bad)
                per = reported(r.stderr)
                bad = [f for f in files if per.get(f, []) != want_err.get(f, [])]
                check("%s %s: each file's messages as velkrun's (%s)" % (tag, mode, bad[:5]), not bad)
                word = b"would change" if mode else b"changed"
                check("%s %s: the counts" % (tag, mode),
                      (b"%s %d," % (word, changed)) in r.stdout and (b"refused %d, failed 0" % refused) in r.stdout)
                check("%s %s: the status" % (tag, mode), r.returncode == (3 if refused else 0))
        check("%s: workers and velkrun per file give the same bytes, previewed" % tag, results[0] == results[2])
        check("%s: workers and velkrun per file give the same bytes, rewritten" % tag, results[1] == results[3])


def test_killed_worker(scratch):
    src = os.path.join(scratch, "kill-src")
    generated(src, 5)
    files = files_of(src)
    opts = ["-d", "*"]
    want_files, want_err, refused, changed = expected(opts, src, files)
    # A file velkrun rewrites, so that the kill is the only thing that can keep it as it was.
    victim = sorted(f for f in files if f.startswith(os.path.join("gen", "d2", "")) and f not in want_err
                    and want_files[f] != files[f])[0]
    for jobs in ("1", "2"):
        work = os.path.join(scratch, "kill-j" + jobs)
        shutil.copytree(src, work)
        r = run([ARGS.tree, "-j", jobs] + opts + ["--", "."], cwd=work,
                extra_env={"VELKRUN_TREE_TEST_KILL": victim})
        got = files_of(work)
        check("-j%s: the killed file stays as it was" % jobs, got[victim] == files[victim])
        bad = [f for f in files if f != victim and got.get(f) != want_files[f]]
        check("-j%s: every other file is rewritten as velkrun makes it (%s)" % (jobs, bad[:5]), not bad)
        per = reported(r.stderr)
        check("-j%s: the killed file is reported" % jobs,
              per.get(victim) == [b"velkrun-tree: " + named(victim).encode() + b": velkrun was killed by signal 9 (Killed)"])
        bad = [f for f in files if f != victim and per.get(f, []) != want_err.get(f, [])]
        check("-j%s: no other file is reported otherwise (%s)" % (jobs, bad[:5]), not bad)
        check("-j%s: counted as the one failure" % jobs,
              (b"refused %d, failed 1" % refused) in r.stdout and r.returncode == 1)
        leftovers = [f for f in got if f not in files]
        check("-j%s: no temporary file left (%s)" % (jobs, leftovers), not leftovers)


def locate_lines(out):
    """--locate lines per file."""
    per = {}
    for line in out.split(b"\n"):
        if line:
            per.setdefault(line.rsplit(b":", 2)[0], []).append(line)
    return per


def test_symbols(scratch):
    """--symbols and --locate take many files to a worker at once; however the files are dealt out,
    and whichever way the worker reads the lines, the table and the places are the same, and a
    worker killed in the middle of its files fails only the file it was reading."""
    src = os.path.join(scratch, "src")  # test_same_as_alone's tree
    base = run([ARGS.tree, "--symbols", "--locate", "-j", "1", "--", "."], cwd=src)
    check("--locate runs", base.returncode == 0 and base.stdout.count(b"\n") > 100)
    for jobs, simd in (("2", None), ("3", None), ("2", "lines")):
        env = {"VELK_SIMD": simd} if simd else None
        for extra in (["--locate"], ["-T", "-l", "A*"]):
            r = run([ARGS.tree, "--symbols"] + extra + ["-j", jobs, "--", "."], cwd=src, extra_env=env)
            one = run([ARGS.tree, "--symbols"] + extra + ["-j", "1", "--", "."], cwd=src) if extra[0] != "--locate" else base
            check("--symbols %s -j%s VELK_SIMD=%s as -j1" % (" ".join(extra), jobs, simd),
                  (r.stdout, r.stderr, r.returncode) == (one.stdout, one.stderr, one.returncode))
    want = locate_lines(base.stdout)
    victim = sorted(f for f in want if f.startswith(b"./gen/d1/"))[0]
    for jobs in ("1", "2"):
        r = run([ARGS.tree, "--symbols", "--locate", "-j", jobs, "--", "."], cwd=src,
                extra_env={"VELKRUN_TREE_TEST_KILL": victim[2:].decode()})
        got = locate_lines(r.stdout)
        check("--symbols -j%s: the killed file has no places" % jobs, victim not in got)
        check("--symbols -j%s: every other file has its places" % jobs,
              got == {f: v for f, v in want.items() if f != victim})
        check("--symbols -j%s: the killed file is reported and counted" % jobs,
              r.stderr.startswith(b"velkrun-tree: " + victim + b": velkrun was killed by signal 9 (Killed)\n")
              and r.stderr.endswith(b", failed 1\n") and r.returncode == 1)


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    ap.add_argument("--velkrun", required=True)
    ap.add_argument("--tree", required=True)
    ap.add_argument("--e2e", required=True)
    ap.add_argument("--scratch", required=True)
    ap.add_argument("--sets", type=lambda v: [int(k) for k in v.split(",")],
                    help="only the option sets of these indices (comma-separated)")
    ARGS = ap.parse_args()
    ARGS.velkrun = os.path.abspath(ARGS.velkrun)
    ARGS.tree = os.path.abspath(ARGS.tree)
    shutil.rmtree(ARGS.scratch, ignore_errors=True)
    os.makedirs(ARGS.scratch)
    test_same_as_alone(ARGS.scratch)
    test_killed_worker(ARGS.scratch)
    test_symbols(ARGS.scratch)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    shutil.rmtree(ARGS.scratch, ignore_errors=True)
    print("all worker checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
