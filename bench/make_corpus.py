#!/usr/bin/env python3
"""Writes a large, realistic velkrun input: code lines from the system headers interleaved with
generated conditionals of every accepted form, comments and literals that cross lines, and
Shift_JIS text. The same seed, size, variant and header tree give the same bytes.

usage: make_corpus.py [--seed N] [--no-elif] [--include-dir DIR] SIZE OUT
SIZE takes a K, M or G suffix (binary units): 1M, 256M, 1G.

--no-elif leaves out #elif, which velkrun refuses while names outside the lists are unsettled
(runs with -l or -d lists); the default corpus suits -lA runs and runs without lists.

Every input it writes is accepted by velkrun with and without -T: generated directives stand only
where the lexical state is plain code (header text that would leave a comment or literal open is
closed by an extra line), and the directive lines hidden in comments are balanced on their own.
"""

import argparse
import os
import random
import re
import sys

MAX_DEPTH = 20
POOL_BYTES = 8 << 20  # header text kept in memory; larger corpora reuse it in new arrangements
MAX_LINE = 2000  # well under velkrun's 4094-byte line limit

LEAD = rb"\x81-\x9f\xe0-\xfc"  # Shift_JIS lead bytes: velkrun steps over the pair they start
RE_CODE = re.compile(rb"[/\"'\n" + LEAD + rb"]")
RE_BLOCK = re.compile(rb"[*\n" + LEAD + rb"]")
RE_STR = {q: re.compile(rb"[\\\n" + bytes([q]) + LEAD + rb"]") for q in (ord('"'), ord("'"))}
CODE, BLOCK = 0, 1  # lexical states; an open literal is its quote byte (34 or 39)


def lex_line(line, st):
    """Returns the lexical state after LINE when it begins in ST, walking it the way velkrun does
    (a line comment ends with its line, a lead byte takes the byte after it along)."""
    n = len(line)
    p = 0
    while p < n:
        if st == CODE:
            m = RE_CODE.search(line, p)
        elif st == BLOCK:
            m = RE_BLOCK.search(line, p)
        else:
            m = RE_STR[st].search(line, p)
        if not m:
            return st
        p = m.start()
        c = line[p]
        if c == 10:
            return st
        if 0x81 <= c <= 0x9F or 0xE0 <= c <= 0xFC:
            p += 2 if p + 1 < n else 1
        elif st == CODE:
            if c == 47:  # '/'
                nxt = line[p + 1] if p + 1 < n else 0
                if nxt == 47:
                    return st
                if nxt == 42:
                    st = BLOCK
                    p += 2
                else:
                    p += 1
            else:
                st = c
                p += 1
        elif st == BLOCK:
            if p + 1 < n and line[p + 1] == 47:
                st = CODE
                p += 2
            else:
                p += 1
        elif c == 92:  # backslash inside a literal
            p += 2
        else:
            st = CODE
            p += 1
    return st


def closer(st):
    return b" */\n" if st == BLOCK else bytes([st]) + b";\n"


def header_files(root):
    out = []
    for d, subdirs, files in os.walk(root):
        subdirs.sort()
        for f in sorted(files):
            if f.endswith((".h", ".hpp", ".hh", ".tcc")):
                out.append(os.path.join(d, f))
    return out


def load_pool(rng, root):
    """Cuts header text into runs of lines that start and end in plain code."""
    files = header_files(root)
    rng.shuffle(files)
    pool = []
    total = 0
    for path in files:
        if total >= POOL_BYTES:
            break
        try:
            with open(path, "rb") as f:
                raw = f.read()
        except OSError:
            continue
        lines = [
            ln + b"\n"
            for ln in raw.split(b"\n")
            if len(ln) < MAX_LINE and b"\0" not in ln and not ln.lstrip(b" \t\r").startswith(b"#")
        ]
        i = 0
        while i < len(lines):
            k = rng.randint(1, 12)
            run = lines[i:i + k]
            i += k
            st = CODE
            for ln in run:
                st = lex_line(ln, st)
            while st != CODE:
                c = closer(st)
                run.append(c)
                st = lex_line(c, st)
            chunk = b"".join(run)
            pool.append(chunk)
            total += len(chunk)
    if not pool:
        sys.exit("make_corpus: no header text found under " + root)
    return pool


# Name families. The benchmark's option sets settle some families and leave others open.
FAMILIES = [
    ("CONFIG_", ["NET", "SMP", "PCI", "USB", "SND", "FS_EXT4", "NUMA", "PM", "BLOCK", "MMU"]),
    ("HAVE_", ["UNISTD_H", "STDINT_H", "MMAP", "PTHREAD", "POLL", "EPOLL", "SSE2", "AVX2"]),
    ("USE_", ["SSL", "ZLIB", "LZ4", "ICONV", "SJIS", "UTF8", "THREADS", "ASM"]),
    ("ENABLE_", ["FAST_PATH", "FAST_IO", "LOGGING", "NLS", "ASSERT", "STATS"]),
    ("WITH_", ["GUI", "CURL", "SQLITE", "PYTHON", "LUA"]),
    ("OS_", ["LINUX", "WIN32", "DARWIN", "FREEBSD", "SOLARIS"]),
    ("FEATURE_", ["A1", "A2", "B1", "B2", "C", "XL", "LONGNAME_OPTION"]),
    ("LEGACY_", ["API_V1", "API_V2", "IO_V2", "CODEPAGE"]),
    ("ARCH_", ["X86_64", "I386", "ARM", "AARCH64", "RISCV"]),
    ("", ["DEBUG", "NDEBUG", "TRACE", "TRACE_IO", "VERBOSE", "PROFILE", "SAFE_MODE"]),
]

SJIS_TEXT = [
    "表示する文字列",  # second bytes of 表, ソ and 能 are backslashes
    "ソフトウェアの設定",
    "能力の確認",
    "メモリ確保に失敗した場合はエラーを返す",
    "構造体の初期化",
    "ﾊﾝｶｸｶﾀｶﾅ",  # single-byte katakana
    "予定表ソース",
    "漢字コード変換（シフトJIS）",
]
SJIS = [s.encode("cp932") for s in SJIS_TEXT]


class Gen:
    def __init__(self, rng, pool, elif_ok):
        self.rng = rng
        self.pool = pool
        self.elif_ok = elif_ok
        self.out = []
        self.size = 0

    def put(self, b):
        self.out.append(b)
        self.size += len(b)

    def name(self, lead_letter=True):
        prefix, words = self.rng.choice(FAMILIES)
        n = prefix + self.rng.choice(words)
        if not lead_letter and self.rng.random() < 0.1:
            n = "_" + n
        return n

    def sjis(self):
        return self.rng.choice(SJIS)

    def trailer(self):
        r = self.rng.random()
        if r < 0.8:
            return b"\n"
        if r < 0.9:
            return b" /* " + self.sjis() + b" */\n"
        return b" // " + self.sjis() + b"\n"

    def hash(self, word):
        r = self.rng.random()
        if r < 0.85:
            return ("#" + word).encode()
        if r < 0.95:
            return ("# " + word).encode()
        return (" \t#  " + word).encode()

    def operand(self):
        r = self.rng.random()
        if r < 0.35:
            return "defined(%s)" % self.name(False)
        if r < 0.5:
            return "!defined(%s)" % self.name(False)
        if r < 0.6:
            return "defined ( %s )" % self.name(False)
        if r < 0.9:
            return self.name()
        return self.rng.choice(["0", "1"])

    def if_expr(self):
        k = self.rng.choice([1, 1, 1, 2, 2, 3, 4])
        op = self.rng.choice([" || ", " && ", "||", " &&"])
        return op.join(self.operand() for _ in range(k)).encode()

    def code(self):
        self.put(self.rng.choice(self.pool))

    def extra(self):
        """Comments and literals across lines, Shift_JIS text, a commented-out conditional."""
        rng = self.rng
        r = rng.random()
        if r < 0.3:
            self.put(b"/*\n * " + self.sjis() + b"\n * " + self.sjis() + b" \"quoted\" it's\n */\n")
        elif r < 0.45:
            self.put(b"static const char msg_%d[] = \"" % rng.randrange(1000) + self.sjis()
                     + b"\\\n" + self.sjis() + b" /* not a comment */\\n\";\n")
        elif r < 0.6:
            self.put(b"    c = '\\''; q = '\"'; s = \"\\\\\"; t = \"" + self.sjis() + b"\"; // "
                     + self.sjis() + b"\n")
        elif r < 0.75:
            self.put(b"/* " + self.sjis() + b"\n#ifdef " + self.name().encode() + b"\nold_call();\n#else\n"
                     + b"new_call(); // " + self.sjis() + b"\n#endif\n*/\n")
        elif r < 0.9:
            self.put(b"x = a / b * c; /* " + self.sjis() + b" */ y = \"/* no comment */\"; // tail\n")
        else:
            self.put(b"const char *p = \"multi\\\n#include <in_a_literal.h>\\\nline\";\n")

    def body(self, depth, force_deep):
        n = self.rng.randint(1, 4)
        for i in range(n):
            r = self.rng.random()
            if force_deep and i == 0 and depth < MAX_DEPTH:
                self.cond(depth + 1, True)
            elif depth < MAX_DEPTH and r < (0.25 if depth < 3 else 0.06):
                self.cond(depth + 1, False)
            elif r < 0.85:
                self.code()
            else:
                self.extra()

    def cond(self, depth, force_deep):
        rng = self.rng
        r = rng.random()
        is_if = False
        if r < 0.3:
            self.put(self.hash("ifdef") + b" " + self.name().encode() + self.trailer())
        elif r < 0.45:
            self.put(self.hash("ifndef") + b" " + self.name().encode() + self.trailer())
        else:
            is_if = True
            self.put(self.hash("if") + b" " + self.if_expr() + self.trailer())
        self.body(depth, force_deep)
        if is_if and self.elif_ok:
            for _ in range(rng.choice([0, 0, 1, 1, 2, 3])):
                self.put(self.hash("elif") + b" " + self.if_expr() + self.trailer())
                self.body(depth, False)
        if rng.random() < 0.5:
            self.put(self.hash("else") + self.trailer())
            self.body(depth, False)
        self.put(self.hash("endif") + self.trailer())

    def top(self):
        r = self.rng.random()
        if r < 0.4:
            self.code()
        elif r < 0.5:
            self.extra()
        else:
            self.cond(1, r > 0.995)


def parse_size(s):
    m = re.fullmatch(r"(\d+)([KMG]?)", s.upper())
    if not m:
        sys.exit("make_corpus: bad size " + s)
    return int(m.group(1)) << {"": 0, "K": 10, "M": 20, "G": 30}[m.group(2)]


def main():
    ap = argparse.ArgumentParser(description="Write a velkrun benchmark input.")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--no-elif", action="store_true")
    ap.add_argument("--include-dir", default="/usr/include")
    ap.add_argument("size")
    ap.add_argument("out")
    a = ap.parse_args()
    target = parse_size(a.size)
    rng = random.Random(a.seed)
    gen = Gen(rng, load_pool(rng, a.include_dir), not a.no_elif)
    tmp = a.out + ".part"
    written = 0
    with open(tmp, "wb") as f:
        while written + gen.size < target:
            gen.top()
            if gen.size >= 1 << 20:
                f.write(b"".join(gen.out))
                written += gen.size
                gen.out, gen.size = [], 0
        f.write(b"".join(gen.out))
        written += gen.size
    os.replace(tmp, a.out)


if __name__ == "__main__":
    main()
