#!/usr/bin/env python3
"""velkrun, velkrun -x and unifdef over real source trees (driven by bench/real_trees.sh).

For each goal of a tree (GOALS: platform names defined, with their values, and undefined),
each tool runs once on every C and C++ file (the extensions velkrun-tree takes). Per tool it
prints the files rewritten (run succeeded, output differs), the files refused (run failed; the
file counts as left unchanged), the conditional lines (#if, #ifdef, #ifndef, #elif) that still
test a goal name, and the CPU and elapsed time of all runs.

Every rewritten file is then checked with the C preprocessor: the file and the tool's output are
cut down to their conditional skeleton (each other line becomes a token made from its text;
#define, #include and the like go too) and both go through cpp -P with the goal names as the
goal has them and, for every other name the directives test, several random assignments (a name
used function-like defined function-like). Differing tokens are differences cpp can see;
assignments under which cpp rejects the input skeleton are skipped.
"""

import argparse
import os
import random
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "scripts"))
from cpp_differential import CppBatch, directive_lines  # noqa: E402

EXTS = (".c", ".h", ".cc", ".cpp", ".cxx", ".hh", ".hpp", ".hxx")

# The goals, per tree: the names a list defines (with their values) and those it undefines.
VMS = ["OPENSSL_SYS_VMS", "__VMS", "VMS", "OPENSSL_SYS_VMS_DECC"]
GOALS = {
    "openssl": [
        ("no VMS, no Windows", {},
         VMS + ["_WIN32", "_WIN64", "WIN32", "OPENSSL_SYS_WINDOWS", "OPENSSL_SYS_WIN32",
                "OPENSSL_SYS_WIN64", "OPENSSL_SYS_WINCE", "_WIN32_WCE", "OPENSSL_SYS_WINNT",
                "OPENSSL_SYS_WIN32_CYGWIN", "OPENSSL_SYS_MSDOS", "_MSC_VER", "__MINGW32__"]),
        ("32-bit Windows, Vista and later, MSVC 2019",
         {"_WIN32": "1", "WIN32": "1", "OPENSSL_SYS_WINDOWS": "1", "OPENSSL_SYS_WIN32": "1",
          "_WIN32_WINNT": "0x0600", "_MSC_VER": "1920"},
         VMS + ["_WIN64", "OPENSSL_SYS_WIN64", "OPENSSL_SYS_WINCE", "_WIN32_WCE",
                "OPENSSL_SYS_WIN32_CYGWIN", "__CYGWIN__", "OPENSSL_SYS_MSDOS", "__MINGW32__"]),
    ],
    "zlib": [
        ("no Windows, DOS, OS/2 or VMS", {},
         ["_WIN32", "_WIN64", "WIN32", "__WIN32__", "_WINDOWS", "WINDOWS", "_MSC_VER", "MSDOS",
          "__MSDOS__", "OS2", "__OS2__", "__TURBOC__", "__BORLANDC__", "__WATCOMC__", "VMS",
          "__CYGWIN__", "_WIN32_WCE", "__MINGW32__"]),
    ],
}

COND = re.compile(rb"^[ \t]*#[ \t]*(if|ifdef|ifndef|elif|else|endif)\b")
TEST = re.compile(rb"^[ \t]*#[ \t]*(if|ifdef|ifndef|elif)\b")
BUILTIN = {"defined", "__has_include", "__has_include_next", "__has_attribute",
           "__has_cpp_attribute", "__has_builtin"}
ASSIGN_VALUES = [None, None, None, "0", "1", "1", "2", "0x600", "199901L", "0x30000000L"]


def split_lines(data):
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    return [line[:-1] if line.endswith(b"\r") else line for line in lines]


def directives(data):
    """The conditional directive lines of a file outside comments and literals, each with its
    continuation lines joined and its comments cut (an unclosed one to the end), as (line index,
    keyword, text, text after the keyword)."""
    lines = [line.decode("latin-1") for line in split_lines(data)]
    out = []
    for i, word, text in directive_lines(list(enumerate(lines))):
        text = re.sub(r"/\*.*?\*/|//.*", " ", text).split("/*")[0].encode("latin-1")
        m = COND.match(text)
        out.append((i, word.encode(), text, text[m.end():]))
    return out


def goal_lines(data, goals):
    n = 0
    for _, word, _, rest in directives(data):
        if word in (b"if", b"ifdef", b"ifndef", b"elif") and \
                goals & set(re.findall(rb"[A-Za-z_]\w*", rest)):
            n += 1
    return n


def skeleton(data):
    """The conditional skeleton: directives as directives, every other line one token."""
    lines = split_lines(data)
    keep = {i: text for i, _, text, _ in directives(data)}
    out = []
    i = 0
    while i < len(lines):
        if i in keep:
            out.append(keep[i])
            while lines[i].endswith(b"\\") and i + 1 < len(lines) and i + 1 not in keep:
                i += 1
        else:
            out.append(b"L%08x" % (zlib.crc32(lines[i]) & 0xffffffff))
        i += 1
    return b"\n".join(out) + b"\n"


def assignments(data, fixed, predefined, rng, count):
    """count random assignments of the names the directives of data test, beside the fixed
    values of the goal names: {name: value or None}."""
    names = {}
    for _, word, _, rest in directives(data):
        if word in (b"else", b"endif"):
            continue
        # Character constants, numbers and header names hold no names.
        rest = re.sub(rb"'(\\.|[^'\\])*'|\b[0-9][\w.]*|__has_include\w*\s*\([^)]*\)", b" ",
                      rest)
        for m in re.finditer(rb"([A-Za-z_]\w*)(\s*\()?", rest):
            n = m.group(1).decode("latin-1")
            if n in BUILTIN or n in predefined or n in fixed:
                continue
            names[n] = names.get(n, False) or bool(m.group(2))
    out = []
    for _ in range(count):
        values = dict(fixed)
        for n, func in sorted(names.items()):
            v = rng.choice(ASSIGN_VALUES)
            if func:
                values[n + "(...)"] = v or "0"
            else:
                values[n] = v
        out.append(values)
    return out


def run_tool(cmd, path):
    try:
        p = subprocess.run(cmd + [path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=120)
    except subprocess.TimeoutExpired:
        return None, b"timeout", 99
    return p.stdout, p.stderr, p.returncode


def tools(velkrun, defined, undefined):
    """The three tools under one goal. velkrun without -x takes no values: its list names the
    defined names plainly (it refuses what their values would decide anyway)."""
    plain, valued, cmd = [], [], []
    if defined:
        plain += ["-l", ",".join(sorted(defined))]
        valued += ["-l", ",".join("%s=%s" % kv for kv in sorted(defined.items()))]
        cmd += ["-D%s=%s" % kv for kv in sorted(defined.items())]
    plain += ["-d", ",".join(undefined)]
    valued += ["-d", ",".join(undefined)]
    cmd += ["-U" + n for n in undefined]
    return [
        ("velkrun", [velkrun] + plain, lambda st: st == 0),
        ("velkrun -x", [velkrun, "-x"] + valued, lambda st: st == 0),
        # unifdef: 0 unchanged, 1 changed, 2 trouble
        ("unifdef", ["unifdef"] + cmd, lambda st: st in (0, 1)),
    ]


def bench_tree(name, root, velkrun, predefined, args, work):
    files = []
    for d, dirs, fs in os.walk(root):
        dirs.sort()
        for f in sorted(fs):
            p = os.path.join(d, f)
            if f.endswith(EXTS) and os.path.isfile(p) and not os.path.islink(p):
                files.append(p)
    inputs = []
    for p in files:
        with open(p, "rb") as f:
            inputs.append(f.read())
    met = True
    for title, defined, undefined in GOALS[name]:
        met = bench_goal(name, title, root, files, inputs, defined, undefined, velkrun,
                         predefined, args, work) and met
        for f in os.listdir(work):
            os.unlink(os.path.join(work, f))
    return met


def bench_goal(name, title, root, files, inputs, defined, undefined, velkrun, predefined, args,
               work):
    fixed = dict(defined)
    fixed.update((n, None) for n in undefined)
    goal_set = {g.encode() for g in fixed}
    total_goal = sum(goal_lines(d, goal_set) for d in inputs)
    print("\n%s (%s), %s: %d files, %d conditional lines on the %d goal names" % (
        name, os.path.basename(root), title, len(files), total_goal, len(fixed)))
    print("  -l %s" % ",".join("%s=%s" % kv for kv in sorted(defined.items())) if defined else
          "  (no -l)")
    print("  -d %s" % ",".join(undefined))
    rows = []
    outputs = {}
    for label, cmd, ok in tools(velkrun, defined, undefined):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t0 = time.monotonic()
        res = [run_tool(cmd, p) for p in files]
        elapsed = time.monotonic() - t0
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        rewritten = refused = left = warned = 0
        outs = []
        for data, (out, err, st) in zip(inputs, res):
            if not ok(st):
                refused += 1
                outs.append(None)
                left += goal_lines(data, goal_set)
                continue
            if label == "velkrun -x" and err:
                warned += 1
            if out != data:
                rewritten += 1
            outs.append(out)
            left += goal_lines(out, goal_set)
        outputs[label] = outs
        rows.append([label, rewritten, refused, left, cpu, elapsed, warned])

    # The C preprocessor's view of every rewrite.
    rng = random.Random("%s/%s/%d" % (name, title, args.seed))
    assigns = {}
    batch_in = CppBatch(work, "in")
    out_batches = {label: CppBatch(work, label.replace(" ", "_").replace("-", "")) for label in
                   outputs}
    for c, data in enumerate(inputs):
        if all(outputs[t][c] is None or outputs[t][c] == data for t in outputs):
            continue
        assigns[c] = assignments(data, fixed, predefined, rng, args.assignments)
        sk = skeleton(data)
        for k, values in enumerate(assigns[c]):
            batch_in.add(c, k, sk, values)
    tok_in, err_in, _ = batch_in.run(["-undef", "-w"])
    for row in rows:
        label = row[0]
        batch = out_batches[label]
        keys = []
        for c, data in enumerate(inputs):
            out = outputs[label][c]
            if c not in assigns or out is None or out == data:
                continue
            sk = skeleton(out)
            for k, values in enumerate(assigns[c]):
                batch.add(c, k, sk, values)
                keys.append((c, k))
        tok_out, err_out, _ = batch.run(["-undef", "-w"])
        checked = differ = skipped = 0
        bad_files = set()
        for key in keys:
            if key in err_in:
                skipped += 1
                continue
            checked += 1
            if key in err_out or tok_in.get(key) != tok_out.get(key):
                differ += 1
                bad_files.add(files[key[0]])
        row += [checked, differ, skipped]
        for f in sorted(bad_files)[:10]:
            print("  %s: cpp sees a difference in %s" % (label, os.path.relpath(f, root)))
    print("%-11s %9s %8s %10s %8s %9s %12s" % ("", "rewritten", "refused", "goal lines",
                                              "cpu s", "elapsed s", "cpp differ"))
    for label, rewritten, refused, left, cpu, elapsed, warned, checked, differ, skipped in rows:
        print("%-11s %9d %8d %5d (%2d%%) %8.2f %9.2f %5d of %d" % (
            label, rewritten, refused, left, 100 * (total_goal - left) // max(1, total_goal),
            cpu, elapsed, differ, checked))
    x = rows[1]
    print("velkrun -x: %d files with a kept-as-written warning; %d cpp comparisons skipped "
          "(cpp rejects the input's skeleton)" % (x[6], x[9]))
    # Files the default mode rewrote where -x writes something else: -x reads more, so this is
    # expected under -d lists (it reads 0 and 1), shown for review.
    same = sum(1 for a, b in zip(outputs["velkrun"], outputs["velkrun -x"]) if a is not None
               and a == b)
    accepted = sum(1 for a in outputs["velkrun"] if a is not None)
    print("files the default mode accepts: %d, -x writes the same for %d" % (accepted, same))
    u = rows[2]
    met = x[3] <= u[3] and x[2] <= u[2] and x[8] == 0
    print("velkrun -x against unifdef: goal lines %d vs %d, refused %d vs %d, cpp differences "
          "%d: %s" % (x[3], u[3], x[2], u[2], x[8], "met" if met else "NOT MET"))
    return met


def print_lists(choice):
    name, _, goal = choice.partition(":")
    goals = GOALS.get(name)
    k = int(goal or "1") - 1 if (goal or "1").isdigit() else -1
    if goals is None or not 0 <= k < len(goals):
        print("no goal %s of tree %s (trees: %s)" % (goal or "1", name, ", ".join(sorted(GOALS))),
              file=sys.stderr)
        return 2
    title, defined, undefined = goals[k]
    print(title)
    for _, cmd, _ in tools("velkrun", defined, undefined):
        print("\t".join(cmd[1:]))
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--velkrun")
    ap.add_argument("--lists", metavar="NAME[:GOAL]",
                    help="print the title of a goal of tree NAME (GOAL counts from 1, default 1) "
                    "and the arguments that give its lists to velkrun, velkrun -x and unifdef, "
                    "one tab-separated line each, and stop")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--assignments", type=int, default=3)
    ap.add_argument("trees", nargs="*", metavar="NAME=PATH", help="tree name (%s) and folder" %
                    ", ".join(sorted(GOALS)))
    a = ap.parse_args()
    if a.lists:
        return print_lists(a.lists)
    if not a.velkrun or not a.trees:
        ap.error("--velkrun and a tree are required")
    p = subprocess.run(["cpp", "-undef", "-dM", "-E", "-"], input=b"", stdout=subprocess.PIPE,
                       check=True)
    predefined = set(re.findall(r"^#define (\w+)", p.stdout.decode(), re.M))
    work = tempfile.mkdtemp(prefix="velk-real-")
    ok = True
    try:
        for t in a.trees:
            name, _, path = t.partition("=")
            ok = bench_tree(name, path, os.path.abspath(a.velkrun), predefined, a, work) and ok
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
