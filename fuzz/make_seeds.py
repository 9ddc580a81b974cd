#!/usr/bin/env python3
"""Makes seed corpora for the fuzz targets from the end-to-end cases (their command lines and
input files) and from the message formats in the sources. Usage:

    make_seeds.py E2E_DIR OUT_DIR [--src SRC_DIR] [--pick N]

writes OUT_DIR/<target>/<name> for every target; --pick keeps only N seeds per target (for the
small stored set under fuzz/seeds).
"""

import argparse
import hashlib
import os
import random
import re
import sys

MAX_LEN = 8192
DIRECTIVE = re.compile(rb"^[ \t]*#[ \t]*(ifdef|ifndef|if|elif)(.*)$")
KINDS = {b"ifdef": 0, b"if": 1, b"ifndef": 2, b"elif": 3}
MATCH_PATTERN_CHARS = b"aab?*\\^A_"
MATCH_TEXT_CHARS = b"aab\\^A_*?"
LIST_OPTIONS = (b"-l", b"-lA", b"-d")


def cases(e2e):
    """(case dir, argument list) of every end-to-end case without a generator."""
    for topic in sorted(os.listdir(e2e)):
        tdir = os.path.join(e2e, topic)
        if not os.path.isdir(tdir):
            continue
        for name in sorted(os.listdir(tdir)):
            cdir = os.path.join(tdir, name)
            cmd = os.path.join(cdir, "cmd")
            if not os.path.isfile(cmd) or os.path.exists(os.path.join(cdir, "gen.py")):
                continue
            data = open(cmd, "rb").read()
            if data.endswith(b"\n"):
                data = data[:-1]
            yield cdir, (data.split(b"\n") if data else [])


def lists_of(args):
    """(option, list) pairs of a command line."""
    out = []
    for i, a in enumerate(args[:-1]):
        if a in LIST_OPTIONS:
            out.append((a, args[i + 1]))
    return out


def filter_seeds(e2e):
    for cdir, args in cases(e2e):
        body = b""
        head = []
        for a in args:
            path = os.path.join(cdir, a.decode("latin-1"))
            if a and b"/" not in a and os.path.isfile(path) and not body:
                body = open(path, "rb").read()
                head.append(b"@")
            else:
                head.append(a)
        if b"\n" in b"".join(head) or len(body) > MAX_LEN - 200:
            continue
        yield os.path.basename(cdir), b"\n".join(head) + b"\n%%\n" + body


def below_bytes(value, bound):
    """The bytes that FuzzBytes::below(bound) reads back as value."""
    span, out = bound - 1, []
    while span:
        out.append(0)
        span >>= 8
    for k in range(len(out) - 1, -1, -1):
        out[k] = value & 0xFF
        value >>= 8
    return bytes(out)


def cond_seeds(e2e):
    for cdir, args in cases(e2e):
        lists = lists_of(args)
        names = b",".join(l for _, l in lists)
        values = 0
        for k, (opt, _) in enumerate(lists[:8]):
            values |= (opt != b"-d") << k
        undef = 4 if all(opt == b"-lA" for opt, _ in lists) else 0
        for path in sorted(os.listdir(cdir)):
            full = os.path.join(cdir, path)
            if path in ("cmd", "stdout", "stderr", "status") or not os.path.isfile(full):
                continue
            for n, line in enumerate(open(full, "rb").read().split(b"\n")):
                m = DIRECTIVE.match(line)
                if m and len(line) < 2000:
                    flags = KINDS[m.group(1)] | undef
                    yield "%s-%d" % (os.path.basename(cdir), n), bytes([flags, values]) + names + b"\n" + m.group(2) + b"\n"


def match_seeds(e2e):
    names = set()
    patterns = set()
    for cdir, args in cases(e2e):
        for _, l in lists_of(args):
            patterns.update(p for p in l.split(b",") if p and all(c in MATCH_PATTERN_CHARS for c in p))
        for path in os.listdir(cdir):
            full = os.path.join(cdir, path)
            if os.path.isfile(full) and path not in ("cmd", "stdout", "stderr", "status"):
                names.update(re.findall(rb"[A-Za-z_]\w{0,20}", open(full, "rb").read()))
    texts = sorted(n for n in names if all(c in MATCH_TEXT_CHARS for c in n))
    for i, p in enumerate(sorted(patterns)):
        for conv in range(4):
            t = texts[i % len(texts)] if texts else b""
            data = bytes([conv]) + below_bytes(len(p), 1201 if conv >= 2 else 401)
            data += bytes(MATCH_PATTERN_CHARS.index(c) for c in p)
            data += below_bytes(len(t), 401) + bytes(MATCH_TEXT_CHARS.index(c) for c in t)
            yield "pattern%d-conv%d" % (i, conv), data


def err_edit_seeds(src):
    rng = random.Random(1)
    formats = set()
    for dirpath, _, files in os.walk(src):
        for f in files:
            if f.endswith(".cpp"):
                text = open(os.path.join(dirpath, f), "rb").read()
                formats.update(s for s in re.findall(rb'"((?:[^"\\\n]|\\.)*%(?:[^"\\\n]|\\.)*)"', text))
    for i, fmt in enumerate(sorted(formats)):
        fmt = fmt.replace(b"\\n", b"\n").replace(b'\\"', b'"').replace(b"\\\\", b"\\")
        args = bytes(rng.randrange(256) for _ in range(64))
        yield "format%d" % i, fmt + b"\0" + args


def namelist_seeds():
    rng = random.Random(2)
    for i in range(16):
        yield "ops%d" % i, bytes(rng.randrange(256) for _ in range(rng.randrange(16, 600)))


def names_seeds(e2e):
    """The input files of the end-to-end cases, each once as code and once as text (-T)."""
    for cdir, _ in cases(e2e):
        for f in sorted(os.listdir(cdir)):
            path = os.path.join(cdir, f)
            if f in ("cmd", "stdout", "stderr", "status") or f.endswith(".win") or not os.path.isfile(path):
                continue
            data = open(path, "rb").read()[:MAX_LEN - 1]
            base = os.path.basename(cdir) + "-" + f
            yield base, b"\0" + data
            yield base + "-T", b"\1" + data


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("e2e")
    ap.add_argument("out")
    ap.add_argument("--src", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src"))
    ap.add_argument("--pick", type=int, default=0)
    opts = ap.parse_args()
    sets = {
        "fuzz_filter": list(filter_seeds(opts.e2e)) if os.path.isdir(opts.e2e) else [],
        "fuzz_cond_eval": list(cond_seeds(opts.e2e)) if os.path.isdir(opts.e2e) else [],
        "fuzz_match": list(match_seeds(opts.e2e)) if os.path.isdir(opts.e2e) else [],
        "fuzz_err_edit": list(err_edit_seeds(opts.src)),
        "fuzz_namelist": list(namelist_seeds()),
        "fuzz_names": list(names_seeds(opts.e2e)) if os.path.isdir(opts.e2e) else [],
    }
    for target, seeds in sets.items():
        if opts.pick:
            # An even spread over the set, the same every time.
            step = max(1, len(seeds) // opts.pick)
            seeds = seeds[::step][:opts.pick]
        d = os.path.join(opts.out, target)
        os.makedirs(d, exist_ok=True)
        for name, data in seeds:
            name = re.sub(r"[^\w.-]", "_", name)
            with open(os.path.join(d, name), "wb") as f:
                f.write(data)
        print("%s: %d seeds" % (target, len(seeds)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
