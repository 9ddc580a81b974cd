#!/usr/bin/env python3
"""Differential test of velkrun -x against the C preprocessor.

Each case is a generated file of random conditionals (#if with every operator of the
preprocessor's constant expressions, #ifdef, #ifndef, #elif chains, #else, nesting, comments and
continuation lines in directives, character constants, suffixed and large constants, defined
in all its spellings, function-like uses) and random lists (-l, -lA and -d, entries with values
and wildcards). velkrun -x rewrites the file under the lists. Then, for several assignments of
the names the lists leave open (each undefined or defined to a value), `cpp -P` of the input and
`cpp -P` of the output, both with the listed names defined to their values and the assignment
on top, must give the same tokens: whatever velkrun -x resolved, it resolved as the
preprocessor does, and whatever it kept, it kept intact. Assignments under which cpp rejects the
input itself are skipped.

Beside that, every run must end with status 0, a second run over the output must leave it as
it is, -nx must write the lines of -x behind their numbers, a directive it warns about ("kept as
written") must be in its output as written where that line is kept at all (an #elif may open
what is left of its conditional as #if), and no #if, #ifdef, #ifndef or #elif whose names the
lists all settle may be left in the output without such a warning, so that copying the input
through unchanged cannot pass. A condition of constants alone counts as settled only where
every name outside the lists counts as undefined, as 0 and 1 do without -x.

All cases of one run go to cpp in one process: a main file per side defines each case's names,
writes a marker token and includes the case, so that the token stream splits back into cases.
The run is seeded and bounded; --seed and --count give other and longer runs.
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

# Names the conditions test. None is predefined by cpp (checked at start).
NAMES = ["A", "B", "C", "D1", "HAVE_FOO", "HAVE_BAR", "USE_ZLIB", "_W32", "_W64", "__ARCHX",
         "lower_n", "OS_VMS", "__cplusplus"]
# Names used only function-like; cpp has them defined as function-like macros on both sides.
FUNCS = {"FN_A": "((x) + 1)", "FN_B": "((x) * 3)"}
HAS_INCLUDE = ["__has_include(<stdio.h>)", "__has_include(\"no_such_header.h\")"]

# Integer constants: every base and suffix, the edges of the widest types.
NUMBERS = ["0", "1", "2", "3", "7", "10", "255", "65536", "010", "0777", "0x10", "0X7f",
           "0xffffffff", "4u", "5U", "6l", "7L", "8ul", "9LU", "10ll", "11ULL", "12llu",
           "0x600", "0x0601L", "9223372036854775807", "0x7fffffffffffffff",
           "0xffffffffffffffff", "18446744073709551615u", "0x8000000000000000", "0u", "1u"]
CHARS = ["'a'", "'0'", "' '", "'\\n'", "'\\0'", "'\\x41'", "'\\377'", "'\\xff'", "'\\''", "'\"'",
         "'\\\\'", "'\\t'", "'ab'"]
VALUES = ["0", "1", "2", "3", "-1", "-2", "10", "0x10", "0X7f", "010", "4u", "5U", "6l", "7UL",
          "0xffffffffu", "-3u", "-0x10", "9223372036854775807", "18446744073709551615u", "0x600"]
UNARY = ["+", "-", "~", "!"]
BINARY = ["*", "/", "%", "+", "-", "<<", ">>", "<", ">", "<=", ">=", "==", "!=", "&", "^", "|",
          "&&", "||"]

LEXEME = re.compile(r"/\*|//|[\"']")
CONDITIONAL = re.compile(r"^[ \t]*#[ \t]*(if|ifdef|ifndef|elif|else|endif)\b")
WARNING = re.compile(r"^Warning: (\d+): .*: kept as written\.$")
LOCATION = re.compile(r"^(.*?):\d+:\d+: (?:fatal )?(error|warning|note): ")


class Gen:
    """Writes one case: its text, its lists, and its open names' assignments."""

    def __init__(self, rng):
        self.r = rng
        self.body = 0

    def number(self):
        return self.r.choice(NUMBERS)

    def atom(self, plain=False):
        r = self.r.random()
        if r < 0.34:
            return self.r.choice(NAMES)
        if plain:
            # A macro's argument is expanded before the call: defined has no meaning there.
            return self.number() if r < 0.8 else self.r.choice(CHARS)
        if r < 0.52:
            n = self.r.choice(NAMES)
            return self.r.choice(["defined %s" % n, "defined(%s)" % n, "defined ( %s )" % n,
                                  "defined (%s)" % n])
        if r < 0.76:
            return self.number()
        if r < 0.86:
            return self.r.choice(CHARS)
        if r < 0.96:
            return "%s(%s)" % (self.r.choice(sorted(FUNCS)), self.expr(1, True))
        return self.r.choice(HAS_INCLUDE)

    def expr(self, depth, plain=False):
        r = self.r.random()
        d = depth - 1
        if depth <= 0 or r < 0.25:
            return self.atom(plain)
        if r < 0.40:
            return "%s %s" % (self.r.choice(UNARY), self.expr(d, plain))
        if r < 0.80:
            # Comparisons and the logical operators, as real conditions use them, more often.
            op = self.r.choice(BINARY + ["&&", "||", "&&", "||", "==", ">="])
            return "%s %s %s" % (self.expr(d, plain), op, self.expr(d, plain))
        if r < 0.90:
            t = "%s ? %s : %s" % (self.expr(d, plain), self.expr(d, plain), self.expr(d, plain))
            return "(%s)" % t if self.r.random() < 0.6 else t
        return "( %s )" % self.expr(d, plain) if self.r.random() < 0.5 else \
            "(%s)" % self.expr(d, plain)

    def decorate(self, text):
        """Spacing, comments and continuation lines between the tokens of a condition."""
        out = []
        # Split at blanks outside character constants: a constant cut in two would leave a
        # literal open, which velkrun carries over to the next line and cpp does not.
        for part in re.findall(r"(?:'(?:\\.|[^'\\])*'|[^ '])+", text):
            if out:
                r = self.r.random()
                if r < 0.06:
                    out.append(" /* c */ ")
                elif r < 0.075:
                    out.append(" /* a comment\n over two lines */ ")
                elif r < 0.09:
                    out.append(" \\\n  ")
                elif r < 0.14:
                    out.append("\t")
                elif r < 0.18:
                    out.append("  ")
                else:
                    out.append(" ")
            out.append(part)
        s = "".join(out)
        r = self.r.random()
        if r < 0.08:
            s += " // why"
        elif r < 0.14:
            s += " /* why */"
        return s

    def hash(self, word):
        return self.r.choice(["#", "#", "#", "# ", " #", "\t#  ", "  # "]) + word

    def directive(self, word):
        if word in ("ifdef", "ifndef"):
            name = self.r.choice(NAMES)
            tail = ""
            r = self.r.random()
            if r < 0.08:
                tail = " // " + name
            elif r < 0.12:
                tail = " /* x */"
            elif r < 0.14:
                tail = " " + self.r.choice(NAMES)  # extra tokens: cpp warns, velkrun keeps
            return "%s %s%s" % (self.hash(word), name, tail)
        if self.r.random() < 0.5:
            cond = self.chain(2)
        else:
            cond = self.expr(self.r.randint(1, 4))
        return "%s %s" % (self.hash(word), self.decorate(cond))

    def chain(self, depth):
        """Operands joined by && and ||, as real conditions are written: what -x simplifies
        when some of them stay open."""
        parts = []
        for _ in range(self.r.randint(2, 5)):
            if parts:
                parts.append(self.r.choice(["&&", "||"]))
            r = self.r.random()
            n = self.r.choice(NAMES)
            if depth > 0 and r < 0.15:
                parts.append("( %s )" % self.chain(depth - 1))
            elif r < 0.45:
                parts.append(self.r.choice(["defined(%s)" % n, "!defined(%s)" % n,
                                            "! defined %s" % n, "defined %s" % n]))
            elif r < 0.65:
                parts.append(n)
            elif r < 0.85:
                # Against -1 too, where a value with a u suffix compares unsigned.
                parts.append("%s %s %s" % (n, self.r.choice(["==", "!=", ">=", "<", ">"]),
                                           self.r.choice([self.number(), "-1"])))
            else:
                parts.append(self.expr(1))
        return " ".join(parts)

    def body_line(self, lines):
        self.body += 1
        r = self.r.random()
        if r < 0.05:
            lines.append("s%d = \"#endif /* A */\";" % self.body)
        elif r < 0.08:
            lines.append("/* t%d" % self.body)
            lines.append("#if A")
            lines.append("*/ t%d_end ;" % self.body)
        else:
            lines.append("b%d ;" % self.body)

    def block(self, lines, depth):
        for _ in range(self.r.randint(0, 3)):
            if depth < 3 and self.r.random() < 0.45:
                self.conditional(lines, depth + 1)
            else:
                self.body_line(lines)

    def conditional(self, lines, depth):
        lines.append(self.directive(self.r.choice(["if", "if", "if", "ifdef", "ifndef"])))
        self.block(lines, depth)
        for _ in range(self.r.choice([0, 0, 1, 1, 2, 3])):
            lines.append(self.directive("elif"))
            self.block(lines, depth)
        if self.r.random() < 0.5:
            lines.append(self.hash("else") + self.r.choice(["", "", " // else", " /* e */"]))
            self.block(lines, depth)
        lines.append(self.hash("endif") + self.r.choice(["", "", "", " // A", " /* A */", " A"]))

    def text(self):
        lines = []
        for _ in range(self.r.randint(1, 4)):
            if self.r.random() < 0.8:
                self.conditional(lines, 1)
            else:
                self.body_line(lines)
        end = "\r\n" if self.r.random() < 0.15 else "\n"
        return "".join(line.replace("\n", end) + end for line in lines)

    def pattern(self):
        name = self.r.choice(NAMES)
        r = self.r.random()
        if r < 0.55:
            return name
        if r < 0.70:
            return name[:self.r.randint(0, len(name) - 1)] + "*"
        if r < 0.82:
            i = self.r.randrange(len(name))
            return name[:i] + "?" + name[i + 1:]
        if r < 0.92:
            return "*" + name[self.r.randint(1, len(name)):]
        return self.r.choice(["*", "_*", "HAVE_*", "*_W??"])

    def lists(self):
        opts = []
        for _ in range(self.r.choice([0, 1, 1, 2, 2, 3])):
            opt = self.r.choice(["-l", "-lA", "-d"])
            entries = []
            for _ in range(self.r.randint(1, 4)):
                e = self.pattern()
                if opt != "-d" and self.r.random() < 0.45:
                    e += "=" + self.r.choice(VALUES)
                entries.append(e)
            opts += [opt, ",".join(entries)]
        return opts

    def assignment(self, open_names):
        a = {}
        for n in open_names:
            if self.r.random() < 0.6:
                a[n] = self.r.choice(VALUES)
        return a


def pattern_re(p):
    return re.compile("".join(".*" if c == "*" else "." if c == "?" else re.escape(c) for c in p))


def settle(opts):
    """What the lists make of each name: {name: value text, or None for undefined}; open names
    are missing."""
    entries = []
    closed = True
    for i in range(0, len(opts), 2):
        opt, lst = opts[i], opts[i + 1]
        if opt != "-lA":
            closed = False
        for e in lst.split(","):
            pat, _, value = e.partition("=")
            entries.append((pattern_re(pat), None if opt == "-d" else (value or "1")))
    out = {}
    for n in NAMES:
        for pat, value in entries:
            if pat.fullmatch(n):
                out[n] = value
                break
        else:
            if closed:
                out[n] = None
    return out


def run_velkrun(velkrun, args, path):
    p = subprocess.run([velkrun] + args + [path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       timeout=60)
    return p.stdout, p.stderr, p.returncode


def identifiers(line):
    """The names a directive line tests, comments and character constants left out."""
    line = re.sub(r"/\*.*?\*/|//.*", " ", line)
    line = re.sub(r"'(\\.|[^'\\])*'", " ", line)
    return [t for t in re.findall(r"[0-9][\w.]*|[A-Za-z_]\w*", line)
            if not t[0].isdigit() and t not in ("defined", "if", "ifdef", "ifndef", "elif")]


def check_output(case, text, out_x, out_nx, err, settled, closed, problems):
    """The checks on velkrun's own output: -n agrees, warned lines kept, nothing settled left."""
    in_lines = text.split("\n")
    numbered = []
    for line in out_nx.decode("latin-1").split("\n")[:-1]:
        m = re.match(r"^ *(\d+): (.*)$", line, re.S)
        if not m:
            problems.append("%s: -nx wrote an unnumbered line: %r" % (case, line))
            return
        numbered.append((int(m.group(1)), m.group(2)))
    if "".join(t + "\n" for _, t in numbered).encode("latin-1") != out_x:
        problems.append("%s: -nx and -x wrote different lines" % case)
    warned = set()
    for line in err.decode("latin-1").split("\n")[:-1]:
        m = WARNING.match(line)
        if not m:
            problems.append("%s: unexpected message: %s" % (case, line))
            continue
        warned.add(int(m.group(1)))
    for no, t in numbered:
        # An #elif whose earlier branches are all gone opens the rest of its conditional as #if.
        written = in_lines[no - 1]
        if no in warned and t != written and t != re.sub(r"^([ \t]*#[ \t]*)elif", r"\1if",
                                                          written):
            problems.append("%s: line %d was warned about but not kept as written: %r" %
                            (case, no, t))
    # Each conditional of the output with its directive lines, outside comments. A conditional
    # with a warned line is kept as written as a whole; in every other one no #if, #ifdef,
    # #ifndef or #elif may test only settled names.
    stack = []
    for no, word, full in directive_lines(numbered):
        if word in ("if", "ifdef", "ifndef"):
            stack.append([])
        elif not stack:
            problems.append("%s: line %d: #%s without #if in the output" % (case, no, word))
            return
        stack[-1].append((no, word, full))
        if word != "endif":
            continue
        group = stack.pop()
        if any(d[0] in warned for d in group):
            continue
        for d in group:
            if d[1] in ("else", "endif"):
                continue
            names = identifiers(d[2])
            if any(n in FUNCS or n == "__has_include" or n not in settled for n in names):
                continue
            if not names and not closed:
                continue  # constants alone: as 0 and 1 without -x, settled only under -lA
            problems.append("%s: line %d left with only settled names and no warning: %s" %
                            (case, d[0], d[2]))
    if stack:
        problems.append("%s: a conditional of the output is never closed" % case)


def directive_lines(numbered):
    """The conditional directives among (number, text) lines, outside block comments, string
    and character literals, their continuation lines joined: (number, keyword, text)."""
    in_comment = False
    i = 0
    while i < len(numbered):
        no, full = numbered[i]
        full = full.rstrip("\r")
        i += 1
        m = None if in_comment else CONDITIONAL.match(full)
        while True:
            while full.endswith("\\") and i < len(numbered):
                full = full[:-1] + " " + numbered[i][1].rstrip("\r")
                i += 1
            # A directive goes on over the lines of a comment that it opens.
            if not (m and i < len(numbered) and ends_in_comment(full, in_comment)):
                break
            full += " " + numbered[i][1].rstrip("\r")
            i += 1
        if m:
            yield no, m.group(1), full
        in_comment = ends_in_comment(full, in_comment)


def ends_in_comment(full, in_comment):
    """Whether a line that starts in a block comment or not ends in one."""
    j = 0
    while True:
        if in_comment:
            end = full.find("*/", j)
            if end < 0:
                break
            in_comment = False
            j = end + 2
            continue
        m = LEXEME.search(full, j)
        if not m or m.group() == "//":
            break
        j = m.end()
        if m.group() == "/*":
            in_comment = True
            continue
        while j < len(full) and full[j] != m.group():
            j += 2 if full[j] == "\\" else 1
        j += 1
    return in_comment


class CppBatch:
    """Many small files through one cpp -P process: each chunk is included from a main file
    behind its own definitions and a marker token, so that the output splits back into chunks
    and every error is charged to the chunk it arose in. Chunks are keyed (c, k)."""

    def __init__(self, work, side, head=()):
        self.work = work
        self.side = side
        self.lines = list(head)

    def add(self, c, k, data, values):
        """Chunk (c, k) holds data (bytes), preprocessed with values: {name: replacement text,
        or None for undefined}; a name may carry a parameter list ("F(x)")."""
        name = "c%d_%d.%s" % (c, k, self.side)
        with open(os.path.join(self.work, name), "wb") as f:
            f.write(data)
        for n, v in sorted(values.items()):
            self.lines.append("#undef %s" % n.split("(")[0])
            if v is not None:
                self.lines.append("#define %s %s" % (n, v))
        self.lines += ["MARK_%d_%d" % (c, k), "#include \"%s\"" % name]

    def run(self, cpp_args=()):
        """Runs cpp: returns the tokens of each chunk, the set of chunks with errors (None when
        an error belongs to no chunk) and cpp's messages."""
        main_path = "main_%s.c" % self.side
        with open(os.path.join(self.work, main_path), "w") as f:
            f.write("\n".join(self.lines) + "\n")
        p = subprocess.run(["cpp", "-P"] + list(cpp_args) + [main_path], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, cwd=self.work, timeout=3600)
        tokens = {}
        current = None
        for tok in p.stdout.decode("latin-1").split():
            if tok.startswith("MARK_"):
                _, c, k = tok.split("_")
                current = (int(c), int(k))
                tokens[current] = []
            elif current is not None:
                tokens[current].append(tok)
        errors = set()
        pending = False  # an error inside a macro of the main file, its chunk still to come
        for line in p.stderr.decode("latin-1").splitlines():
            m = LOCATION.match(line)
            if not m:
                continue
            chunk = re.match(r"c(\d+)_(\d+)\.", os.path.basename(m.group(1)))
            if m.group(2) != "note":
                if pending:
                    errors.add(None)
                pending = False
                if m.group(2) == "warning":
                    continue
                if not chunk:
                    pending = True
                    continue
            elif not (pending and chunk):
                continue
            errors.add((int(chunk.group(1)), int(chunk.group(2))))
            pending = False
        if pending:
            errors.add(None)
        return tokens, errors, p.stderr.decode("latin-1")


def predefined_clash():
    p = subprocess.run(["cpp", "-dM", "-E", "-"], input=b"", stdout=subprocess.PIPE, check=True)
    defined = set(re.findall(r"^#define (\w+)", p.stdout.decode(), re.M))
    return sorted(defined & (set(NAMES) | set(FUNCS)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--velkrun", required=True)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=300, help="generated files (default 300)")
    ap.add_argument("--assignments", type=int, default=4,
                    help="assignments of the open names per file (default 4)")
    ap.add_argument("--keep", metavar="DIR", help="keep the scratch files here")
    a = ap.parse_args()
    if not shutil.which("cpp"):
        sys.exit("cpp (the C preprocessor) is not installed")
    clash = predefined_clash()
    if clash:
        sys.exit("names predefined by cpp: %s" % ", ".join(clash))
    velkrun = os.path.abspath(a.velkrun)
    work = os.path.abspath(a.keep) if a.keep else tempfile.mkdtemp(prefix="velk-cppdiff-")
    os.makedirs(work, exist_ok=True)
    problems = []
    cases = []
    warnings = 0
    head = ["#define %s(x) %s" % (f, d) for f, d in sorted(FUNCS.items())]
    batch_in, batch_out = CppBatch(work, "in", head), CppBatch(work, "out", head)
    try:
        for c in range(a.count):
            rng = random.Random("%d/%d" % (a.seed, c))
            g = Gen(rng)
            text = g.text()
            opts = g.lists()
            settled = settle(opts)
            open_names = [n for n in NAMES if n not in settled]
            assigns = [g.assignment(open_names) for _ in range(a.assignments if open_names else 1)]
            src = os.path.join(work, "c%d.c" % c)
            with open(src, "w") as f:
                f.write(text)
            label = "case %d (velkrun -x %s c%d.c)" % (c, " ".join("'%s'" % o for o in opts), c)
            out_x, err, status = run_velkrun(velkrun, ["-x"] + opts, src)
            out_nx, err_n, status_n = run_velkrun(velkrun, ["-nx"] + opts, src)
            if status != 0 or status_n != 0:
                problems.append("%s: status %d (-nx: %d): %s" % (
                    label, status, status_n, err.decode("latin-1").strip()))
                continue
            if err != err_n:
                problems.append("%s: -x and -nx wrote different messages" % label)
            closed = all(o == "-lA" for o in opts[::2])
            check_output(label, text, out_x, out_nx, err, settled, closed, problems)
            # What -x leaves, it leaves for good: a second run changes nothing.
            again = os.path.join(work, "c%d.x" % c)
            with open(again, "wb") as f:
                f.write(out_x)
            out_again, _, status_again = run_velkrun(velkrun, ["-x"] + opts, again)
            if status_again != 0 or out_again != out_x:
                problems.append("%s: a second run over the output changes it (status %d)" % (
                    label, status_again))
            warnings += err.count(b"\n")
            cases.append((c, label, text, out_x, opts, assigns))
            for k, assign in enumerate(assigns):
                values = {n: None for n in NAMES}
                values.update(settled)
                values.update(assign)
                batch_in.add(c, k, text.encode("latin-1"), values)
                batch_out.add(c, k, out_x, values)
        tok_in, err_in, msg_in = batch_in.run()
        tok_out, err_out, msg_out = batch_out.run()
        if None in err_in or None in err_out:
            sys.exit("cpp failed outside the cases:\n" + msg_in + msg_out)
        compared = skipped = differ = 0
        changed = sum(1 for case in cases if case[3] != case[2].encode("latin-1"))
        directive_count = sum(len(list(directive_lines(list(enumerate(case[2].split("\n"))))))
                              for case in cases)
        for c, label, text, out_x, opts, assigns in cases:
            for k, assign in enumerate(assigns):
                if (c, k) in err_in:
                    skipped += 1
                    continue
                compared += 1
                what = None
                if (c, k) in err_out:
                    what = "cpp rejects the output, not the input"
                elif tok_in.get((c, k)) != tok_out.get((c, k)):
                    what = "cpp gives %s for the input, %s for the output" % (
                        " ".join(tok_in.get((c, k), [])), " ".join(tok_out.get((c, k), [])))
                if what:
                    differ += 1
                    problems.append("%s, open names %s: %s\n--- input\n%s--- output\n%s" % (
                        label, " ".join("%s=%s" % kv for kv in sorted(assign.items())) or
                        "all undefined", what, text, out_x.decode("latin-1")))
        # The differences with cpp first: they are what this test is for.
        problems.sort(key=lambda p: "cpp " not in p.split("\n")[0])
        for p in problems[:12]:
            print(p)
        print("%d files (%d rewritten, %d conditional directives, %d kept as written with a "
              "warning), %d comparisons with cpp (%d differ), %d skipped as cpp rejects the "
              "input; %d problems" % (len(cases), changed, directive_count, warnings, compared,
                                      differ, skipped, len(problems)))
        if compared < len(cases):
            problems.append("too few comparisons")
        return 1 if problems else 0
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
