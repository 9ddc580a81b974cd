#!/usr/bin/env python3
"""Runs end-to-end cases of velkrun and compares their output byte for byte.

A case is a folder tests/e2e/<topic>/<case>/ holding:
  cmd             the arguments, one per line (so empty arguments and blanks work); may be empty
  input files     whatever the arguments name
  stdout, stderr  expected bytes (missing: empty)
  status          expected exit status (missing: 0)
  stdout.win, stderr.win, status.win
                  expectations for a Windows text-mode build, used as is (--windows-text)
  gen.py          optional: run in the scratch copy first; writes big inputs (and may write
                  expectations too, which --bless then leaves alone)
  stdout-to       optional: a path that standard output is opened on instead of a pipe
                  (e.g. /dev/full); stdout is then not compared
  posix-only      optional marker: the case is skipped under --windows-text
  windows-only    optional marker: the case runs only under --windows-text (what a Windows
                  program alone meets: drive letters, backslash paths, code page 932 file names)

Each case runs in a scratch copy of its folder, so the binary may write or cut files freely.
"""

import argparse
import difflib
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

EXPECT_FILES = ("stdout", "stderr", "status")


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def parse_cmd(data):
    """One argument per line; the last newline ends the last argument."""
    if not data:
        return []
    if data.endswith(b"\n"):
        data = data[:-1]
    return data.split(b"\n")


def to_windows_text(data):
    """LF not preceded by CR becomes CR LF, as a Windows text stream writes it."""
    out = bytearray()
    prev = None
    for b in data:
        if b == 0x0A and prev != 0x0D:
            out += b"\r"
        out.append(b)
        prev = b
    return bytes(out)


def show(data):
    """Lines of data with every byte outside printable ASCII shown as an escape."""
    lines = []
    for line in data.splitlines(keepends=True):
        text = ""
        for b in line:
            if b == 0x0A:
                text += "\\n"
            elif b == 0x5C:
                text += "\\\\"
            elif 0x20 <= b < 0x7F:
                text += chr(b)
            else:
                text += "\\x%02x" % b
        lines.append(text + "\n")
    return lines


DIFF_LINES = 80  # a diff of a huge generated output is cut to its first lines


def diff(name, expected, actual):
    exp_lines, act_lines = show(expected), show(actual)
    # Skip the common head, so a late difference in a long output is found quickly.
    same = 0
    while same < min(len(exp_lines), len(act_lines)) and exp_lines[same] == act_lines[same]:
        same += 1
    start = max(0, same - 3)
    lines = list(difflib.unified_diff(exp_lines[start:start + 2000], act_lines[start:start + 2000],
                                      "expected/" + name, "actual/" + name))
    if start:
        lines.insert(2, "(the first %d lines are equal)\n" % start)
    if len(lines) > DIFF_LINES:
        lines = lines[:DIFF_LINES] + ["... (%d more diff lines)\n" % (len(lines) - DIFF_LINES)]
    return "".join(lines)


def run_case(case_dir, args):
    """Runs one case; returns a list of failure texts (empty when it passes), or None if skipped."""
    if os.path.exists(os.path.join(case_dir, "windows-only" if not args.windows_text else "posix-only")):
        return None
    with tempfile.TemporaryDirectory(prefix="velk-e2e-") as tmp:
        work = os.path.join(tmp, "case")
        shutil.copytree(case_dir, work)
        if os.path.exists(os.path.join(work, "gen.py")):
            subprocess.run([sys.executable, "gen.py"], cwd=work, check=True)
        argv = shlex.split(args.prefix) if args.prefix else []
        argv.append(os.path.abspath(args.binary))
        argv += parse_cmd(read_bytes(os.path.join(work, "cmd")) or b"")
        stdout_to = read_bytes(os.path.join(work, "stdout-to"))
        out_file = None
        if stdout_to is not None:
            out_file = open(stdout_to.strip().decode(), "wb")
        try:
            proc = subprocess.run(argv, cwd=work, stdin=subprocess.DEVNULL,
                                  stdout=out_file if out_file else subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=args.timeout)
        finally:
            if out_file:
                out_file.close()
        actual = {
            "stdout": proc.stdout if out_file is None else b"",
            "stderr": proc.stderr,
            "status": b"%d\n" % proc.returncode,
        }
        if args.bless:
            bless(case_dir, work, actual)
            return []
        failures = []
        for name in EXPECT_FILES:
            expected = expectation(work, name, args.windows_text)
            if name == "status":
                want = int(expected.decode().strip() or "0")
                if want != proc.returncode:
                    failures.append("status: expected %d, got %d" % (want, proc.returncode))
            elif expected != actual[name]:
                failures.append(diff(name, expected, actual[name]))
        return failures


def expectation(work, name, windows_text):
    if windows_text:
        win = read_bytes(os.path.join(work, name + ".win"))
        if win is not None:
            return win
        if name != "status":
            return to_windows_text(read_bytes(os.path.join(work, name)) or b"")
    return read_bytes(os.path.join(work, name)) or b""


def bless(case_dir, work, actual):
    """Rewrites the expectations of a case; files that gen.py made are left to gen.py."""
    for name in EXPECT_FILES:
        path = os.path.join(case_dir, name)
        generated = not os.path.exists(path) and os.path.exists(os.path.join(work, name))
        if generated:
            continue
        data = actual[name]
        empty = data == b"" or (name == "status" and data == b"0\n")
        if empty:
            if os.path.exists(path):
                os.remove(path)
        else:
            with open(path, "wb") as f:
                f.write(data)


def find_cases(paths):
    cases = []
    for path in paths:
        if os.path.exists(os.path.join(path, "cmd")):
            cases.append(path)
            continue
        for root, dirs, files in os.walk(path):
            dirs.sort()
            if "cmd" in files:
                cases.append(root)
                dirs[:] = []
    return cases


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", required=True, help="the velkrun executable")
    parser.add_argument("--prefix", default="", help="command put before the binary (emulator)")
    parser.add_argument("--bless", action="store_true",
                        help="rewrite the expectations from the actual output (after review)")
    parser.add_argument("--windows-text", action="store_true",
                        help="expect Windows text-mode output (LF written as CR LF)")
    parser.add_argument("--timeout", type=float, default=300,
                        help="seconds before a hanging case is killed")
    parser.add_argument("cases", nargs="*", help="case folders or folders of cases")
    args = parser.parse_args()
    if args.bless and args.windows_text:
        parser.error("--bless writes the native expectations; drop --windows-text")
    paths = args.cases or [os.path.dirname(os.path.abspath(__file__))]
    failed = 0
    for case in find_cases(paths):
        result = run_case(case, args)
        label = os.path.relpath(case, os.path.dirname(os.path.abspath(__file__)))
        if result is None:
            print("SKIP", label)
        elif result:
            failed += 1
            print("FAIL", label)
            for text in result:
                sys.stdout.write(text if text.endswith("\n") else text + "\n")
        else:
            print("BLESSED" if args.bless else "PASS", label)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
