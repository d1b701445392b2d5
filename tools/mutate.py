#!/usr/bin/env python3
"""Plants one fault at a time in the sources a change touches and checks that the tests catch it.

    python3 tools/mutate.py                    # src/ .cpp/.h files changed against HEAD
    python3 tools/mutate.py --base main        # ... changed against another commit
    python3 tools/mutate.py src/engine/CopyStep.cpp --max 6 --seed 1
    python3 tools/mutate.py --list             # the mutants, without building anything
    python3 tools/mutate.py --tests build/tests/test_engine   # these programs instead of ctest

Run it from the worktree after configuring and building BUILD (default `build`). Each mutant is
written into the source file, built with `cmake --build BUILD -j2`, and when it compiles the
tests run (`ctest --test-dir BUILD -j2 --timeout T --stop-on-failure`): killed = a test fails,
survived = all pass, skipped = it does not compile. Mutants: comparison and logic flips
(== !=, < >=, > <=, && ||), a leading `!` dropped, true/false, `+ 1`/`- 1`, and single-line
calls, assignments and increments deleted. Comments, strings, preprocessor lines and test
files are never touched. The original file always comes back (also on Ctrl-C; a copy waits in
BUILD/.mutate-backup/ in case this script itself is killed, and is put back on the next start),
and the build is brought up to date with the sources at the end.
"""
import argparse
import contextlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

KEYWORDS = {
    "return", "throw", "delete", "new", "goto", "break", "continue", "using", "typedef", "case",
    "default", "static_assert", "sizeof", "if", "for", "while", "switch", "do", "else", "co_return",
    "co_await", "co_yield", "namespace", "template", "class", "struct", "enum", "union", "public",
    "private", "protected", "friend", "operator", "static", "const", "constexpr", "auto", "extern",
}


@dataclass
class Mutant:
    path: str      # relative to the worktree
    line: int      # 1-based
    start: int     # column range of the original line that is replaced
    end: int
    new: str
    what: str      # the change, as printed

    def apply(self, lines):
        out = list(lines)
        text = out[self.line - 1]
        out[self.line - 1] = text[:self.start] + self.new + text[self.end:]
        return out


# ---------------------------------------------------------------------------------------------
# Finding the code: comments become blanks, string and character literals keep their quotes
# with `_` inside, so patterns only ever see code.

def mask_code(text):
    out = list(text)
    i, n = 0, len(text)

    def blank(a, b, fill):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = fill

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j, " ")
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j, " ")
            i = j
        elif c == '"':
            raw = re.search(r'(?:^|[^\w])(?:u8|u|U|L)?R$', text[max(0, i - 3):i])
            if raw:
                m = re.match(r'"([^()\\\s]{0,16})\(', text[i:])
                if m:
                    close = ")" + m.group(1) + '"'
                    j = text.find(close, i + len(m.group(0)))
                    j = n if j < 0 else j + len(close)
                    blank(i + 1, j - 1, "_")
                    i = j
                    continue
            j = i + 1
            while j < n and text[j] != '"' and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            blank(i + 1, min(j, n), "_")
            i = j + 1
        elif c == "'":
            # 1'000'000: a digit separator, not a character literal.
            k = i
            while k > 0 and (text[k - 1].isalnum() or text[k - 1] in "_'"):
                k -= 1
            if k < i and text[k].isdigit():
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != "'" and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            blank(i + 1, min(j, n), "_")
            i = j + 1
        else:
            i += 1
    return "".join(out)


def code_scopes(masked_lines, pre):
    """For each line: does it start inside a function body (or a block within one)?"""
    result = []
    stack = []  # True for code blocks
    pending = ""  # the text since the last ; { or }, which tells what a { opens
    for line, is_pp in zip(masked_lines, pre):
        result.append(bool(stack and stack[-1]))
        if is_pp:
            continue
        for ch in line:
            if ch == "{":
                head = re.sub(r"\btemplate\s*<[^{;]*?>", " ", pending)
                if stack and stack[-1]:
                    kind = True
                elif re.search(r"\b(namespace|class|struct|union|enum)\b", head) or re.search(r'\bextern\s*"', head):
                    kind = False
                elif re.search(r"=\s*$", head):
                    kind = False  # an initialiser outside any function
                else:
                    kind = True
                stack.append(kind)
                pending = ""
            elif ch == "}":
                if stack:
                    stack.pop()
                pending = ""
            elif ch == ";":
                pending = ""
            else:
                pending += ch
        pending += "\n"
    return result


def preprocessor_lines(lines):
    result = []
    continued = False
    for line in lines:
        is_pp = continued or line.lstrip().startswith("#")
        result.append(is_pp)
        continued = is_pp and line.rstrip().endswith("\\")
    return result


# ---------------------------------------------------------------------------------------------
# Mutants

FLIPS = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">", "&&": "||", "||": "&&"}
BINARY = re.compile(r"(?<=\s)(==|!=|<=|>=|&&|\|\||<|>)(?=\s)")
NOT = re.compile(r"(?:(?<=[\s(,=&|?:])|^)!(?!=)")
BOOL = re.compile(r"\b(true|false)\b")
PLUS_MINUS_ONE = re.compile(r"(?<=\s)([+\-]) 1(?![\w.'])")
ASSIGN_OR_CALL = re.compile(r"<<=|>>=|[+\-*/%&|^]=|(?<![=!<>])=(?!=)|\(")
HEAD = re.compile(r"[A-Za-z_][\w:.\->\[\]<>*&]*")
INCREMENT = re.compile(r"(?:\+\+|--)[A-Za-z_][\w.\->\[\]]*|[A-Za-z_][\w.\->\[\]]*(?:\+\+|--)")


def statement_start(prev_code):
    """Does a statement begin after this (masked, stripped) previous line of code?"""
    if not prev_code or prev_code[-1] in ";{}":
        return True
    if re.match(r"^(case\b.*|default|public|private|protected)\s*:$", prev_code):
        return True
    if re.match(r"^(\}\s*)?(else\s+)?(if|for|while)\s*\(.*\)$", prev_code) or re.match(r"^(\}\s*)?else$", prev_code):
        return prev_code.count("(") == prev_code.count(")")
    return False


def deletable(stmt):
    """A call, an assignment or an increment standing alone on its line; None otherwise."""
    if not stmt.endswith(";") or stmt.count("(") != stmt.count(")") or stmt.count(";") != 1:
        return None
    body = stmt[:-1].rstrip()
    if not body:
        return None
    if INCREMENT.fullmatch(body):
        return "increment"
    m = ASSIGN_OR_CALL.search(body)
    if not m:
        return None
    head = body[:m.start()].rstrip() if m.group(0) != "(" else body[:m.start()]
    if not head or not HEAD.fullmatch(head):
        return None
    if head.split("::")[0].split("<")[0] in KEYWORDS:
        return None
    if m.group(0) == "(":
        return "call"
    if re.search(r"=\s*(delete|default|0)$", body):
        return None
    return "assignment"


def mutants_of(path, text):
    lines = text.split("\n")
    masked = mask_code(text).split("\n")
    pre = preprocessor_lines(lines)
    scopes = code_scopes(masked, pre)
    found = []
    prev_code = ""
    for idx, (line, code) in enumerate(zip(lines, masked)):
        no = idx + 1
        if pre[idx]:
            continue
        for m in BINARY.finditer(code):
            op = m.group(1)
            found.append(Mutant(path, no, m.start(), m.end(), FLIPS[op], "%s -> %s" % (op, FLIPS[op])))
        for m in NOT.finditer(code):
            found.append(Mutant(path, no, m.start(), m.end(), "", "drop ! in %r" % line[m.start():m.start() + 24].strip()))
        for m in BOOL.finditer(code):
            other = "false" if m.group(1) == "true" else "true"
            found.append(Mutant(path, no, m.start(), m.end(), other, "%s -> %s" % (m.group(1), other)))
        for m in PLUS_MINUS_ONE.finditer(code):
            other = "-" if m.group(1) == "+" else "+"
            found.append(Mutant(path, no, m.start(), m.start() + 1, other, "%s 1 -> %s 1" % (m.group(1), other)))
        stripped = code.strip()
        if scopes[idx] and stripped and statement_start(prev_code):
            kind = deletable(stripped)
            if kind:
                start = len(code) - len(code.lstrip())
                end = len(code.rstrip())
                found.append(Mutant(path, no, start, end, ";", "delete %s `%s`" % (kind, line[start:end])))
        if stripped:
            prev_code = stripped
    return found


# ---------------------------------------------------------------------------------------------
# Running

class Stop(Exception):
    pass


def on_term(signum, frame):
    raise Stop()


def is_test_file(path):
    parts = path.replace("\\", "/").split("/")
    name = parts[-1]
    return "tests" in parts[:-1] or re.search(r"(Test|_test|Tests)\.(cpp|h)$", name) or name.startswith("test_")


def changed_files(base):
    out = subprocess.run(["git", "diff", "--name-only", base], check=True, capture_output=True, text=True).stdout
    return [p for p in out.split() if re.match(r"^src/.*\.(cpp|h)$", p) and os.path.isfile(p)]


def run(cmd, timeout=None):
    try:
        proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
        return proc.returncode, proc.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired as e:
        return -1, (e.stdout or b"").decode(errors="replace") + "\n(timed out)"


def build(build_dir):
    return run(["cmake", "--build", build_dir, "-j2"])


def test(args):
    if args.tests:
        for program in args.tests:
            rc, out = run([program], timeout=args.timeout)
            if rc != 0:
                return rc, out
        return 0, ""
    return run(["ctest", "--test-dir", args.build, "-j2", "--timeout", str(args.timeout), "--stop-on-failure"])


@contextlib.contextmanager
def planted(path, text, backup_dir):
    """The mutated file for the length of a with-block; the original comes back on any exit."""
    with open(path, "rb") as f:
        original = f.read()
    backup = os.path.join(backup_dir, path)
    os.makedirs(os.path.dirname(backup), exist_ok=True)
    with open(backup, "wb") as f:
        f.write(original)
    try:
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        yield
    finally:
        restore(path, original)
        os.remove(backup)
        with contextlib.suppress(OSError):
            os.removedirs(os.path.dirname(backup))  # the empty folders up to the backup folder


def restore(path, original):
    with open(path, "wb") as f:
        f.write(original)
    # Not the old stamp: the objects built from the mutant are newer than that, and the build
    # would keep them. A stamp after them makes the final build recompile the real file.
    now = time.time()
    os.utime(path, (now, now))


def restore_leftovers(backup_dir):
    if not os.path.isdir(backup_dir):
        return
    for dirpath, _, names in os.walk(backup_dir):
        for name in names:
            saved = os.path.join(dirpath, name)
            path = os.path.relpath(saved, backup_dir)
            with open(saved, "rb") as f:
                restore(path, f.read())
            print("restored %s from an interrupted run" % path)
    shutil.rmtree(backup_dir)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("files", nargs="*", help="source files (default: src/ .cpp/.h changed against --base)")
    ap.add_argument("--base", default="HEAD")
    ap.add_argument("--build", default="build")
    ap.add_argument("--tests", nargs="+", metavar="PROGRAM", help="test programs to run instead of ctest")
    ap.add_argument("--max", type=int, help="sample this many mutants")
    ap.add_argument("--seed", type=int, default=0)
    ap.add_argument("--list", action="store_true", help="print the mutants and stop")
    ap.add_argument("--timeout", type=int, default=120, help="seconds per test (ctest) or test program")
    args = ap.parse_args()

    files = [os.path.abspath(p) for p in args.files]
    args.build = os.path.abspath(args.build)
    args.tests = [os.path.abspath(p) for p in args.tests] if args.tests else None
    top = subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True, capture_output=True, text=True).stdout.strip()
    os.chdir(top)
    backup_dir = os.path.join(args.build, ".mutate-backup")
    restore_leftovers(backup_dir)

    files = [os.path.relpath(p) for p in files] if files else changed_files(args.base)
    chosen = []
    for p in files:
        if is_test_file(p):
            print("not mutating test file %s" % p)
        else:
            chosen.append(p)
    mutants = []
    for p in chosen:
        with open(p, encoding="utf-8", newline="") as f:
            mutants.extend(mutants_of(p, f.read()))
    if args.max is not None and args.max < len(mutants):
        mutants = sorted(random.Random(args.seed).sample(mutants, args.max), key=lambda m: (m.path, m.line, m.start))
    if not mutants:
        print("no mutants in %s" % (", ".join(chosen) or "the changed files"))
        return 0
    if args.list:
        for m in mutants:
            print("%s:%d: %s" % (m.path, m.line, m.what))
        print("%d mutants" % len(mutants))
        return 0

    # Also when started with SIGINT ignored (a background job of a script): the file must come back.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGTERM, on_term)
    results = {"killed": [], "survived": [], "skipped": []}
    try:
        rc, out = build(args.build)
        if rc != 0:
            sys.exit("the unmutated sources do not build:\n" + out[-3000:])
        rc, out = test(args)
        if rc != 0:
            sys.exit("the tests fail without any mutant:\n" + out[-3000:])
        for i, m in enumerate(mutants, 1):
            with open(m.path, encoding="utf-8", newline="") as f:
                lines = f.read().split("\n")
            t0 = time.monotonic()
            with planted(m.path, "\n".join(m.apply(lines)), backup_dir):
                rc, _ = build(args.build)
                if rc != 0:
                    status = "skipped"
                else:
                    rc, _ = test(args)
                    status = "killed" if rc != 0 else "survived"
            results[status].append(m)
            print("[%d/%d] %s:%d: %s: %s (%.0f s)" % (i, len(mutants), m.path, m.line, m.what, status,
                                                  time.monotonic() - t0), flush=True)
    except (KeyboardInterrupt, Stop):
        print("\ninterrupted; the sources are restored")
    finally:
        signal.signal(signal.SIGINT, signal.SIG_IGN)  # the last build should not be cut short
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        print("rebuilding %s from the restored sources ..." % args.build, flush=True)
        rc, out = build(args.build)
        if rc != 0:
            print(out[-3000:])
            print("the final build failed")

    killed, survived = len(results["killed"]), len(results["survived"])
    print()
    if killed + survived:
        print("score: %d / %d killed (%.0f%%), %d skipped (do not compile)" % (
            killed, killed + survived, 100.0 * killed / (killed + survived), len(results["skipped"])))
    else:
        print("score: no mutant compiled (%d skipped)" % len(results["skipped"]))
    if survived:
        print("survivors:")
        for m in results["survived"]:
            print("  %s:%d: %s" % (m.path, m.line, m.what))
    return 1 if survived else 0


if __name__ == "__main__":
    sys.exit(main())
