#!/usr/bin/env python3
"""Crash test: renvo-run killed with SIGKILL at random moments, and at exact system calls.

One program folder with its own hive, list and top folder mirrors a generated tree through
three items: a sync folder (option 1), a table folder (option 3) and a file item. Each round
changes, adds and deletes some source files (every content version is recorded), starts a
run (a first run into an empty top folder, a standard or a complete run) and kills it after
a random delay between 0 and the length of an uninterrupted run of that kind. Some files are
a few MiB, so that kills land inside copies; in some rounds the list holds an item whose
folder has vanished, so that kills land in the drop step too.

With --exact, a small tree is brought to full generations History1..3 (LimitHistory 3) and
changed once more; an uninterrupted complete run from there is traced (syscallkill.py) for
the system calls that change the file system, and for each one from the first on a generation
folder (or after the last copy into Latest, if sooner) to the end of the run, the same state
is put back and a complete run is killed on entering exactly that call.

After each kill:
  1. the list file is the one written, or that list without the vanished item;
  2. Renvo.ctf, _update and the hive parse, the hive's run counter is the old or the new
     one, and no hive was put aside as corrupt;
  3. every file under its final name in Latest holds what it held before the run or its
     source's current version (content and stamp), and no copy of a remaining source was
     lost;
  4. an uninterrupted run (a complete one after a killed complete run) exits 0 (1 only for
     the failed copies of table entries whose file has gone, which it must then log), leaves
     no temporary file in the program, top, log or hive folder, and leaves Latest equal to
     the sources (the sync item exactly; the table and file items: every file the run was
     to see, with its current version);
  5. _update names every file whose current version reached Latest since the last history
     step (after the kill and after the run), and every generation History1..N is what the
     model says: after the uninterrupted run exactly one history step lies between the
     generations before a complete run and after it (whether the killed run made it or
     not), none after a standard run. A step moves History n to n + 1, drops the one beyond
     the limit, and makes a History1 that holds every file copied into Latest since the
     step before, as Latest holds it, and nothing that was not queued since then.
"""
import argparse
import copy
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import syscallkill

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from renvofiles import HIVE_KEY, ITEM_SIZE, LIST_FILE, hive_path, list_record, read_bytes, write_hive  # noqa: E402

TABLE_RECORD = 257
TABLE_END = b"dummy but needed"
TEMP_MARK = ".rvtmp-"
EVERY_TIMES = 3
LIMIT_HISTORY = 3
MIB = 1024 * 1024

PHASES = ("start", "evaluate", "copy", "delete", "drop", "history", "end")
RANK = {p: i for i, p in enumerate(PHASES)}
KINDS = ("first", "standard", "complete")
AREAS = ("sync", "table", "file item", "program files", "history")
AREA_OF_TOP = {"sync": "sync", "table": "table", "single": "file item"}


# --- list, table, update list and hive formats -------------------------------------------

def parse_table(data):
    """(blocks, problems): blocks as (address, [entries]) in file order."""
    problems, blocks = [], []
    if len(data) % TABLE_RECORD:
        problems.append("size %d is no multiple of %d" % (len(data), TABLE_RECORD))
    block = None
    for i in range(len(data) // TABLE_RECORD):
        rec = data[i * TABLE_RECORD:(i + 1) * TABLE_RECORD]
        kind, n = rec[0], rec[1]
        text = rec[2:2 + n]
        where = "record %d" % i
        if kind not in (0, 1):
            problems.append("%s has type %d" % (where, kind))
            return blocks, problems
        if any(rec[2 + n:]):
            problems.append("%s has bytes after its text" % where)
        if block is None:
            if kind != 1 or text == TABLE_END:
                problems.append("%s (type %d, %r) stands outside a block" % (where, kind, text[:60]))
                return blocks, problems
            block = (text.decode(errors="replace"), [])
        elif kind == 0:
            block[1].append(text.decode(errors="replace"))
        elif text == TABLE_END:
            blocks.append(block)
            block = None
        else:
            problems.append("%s starts a block inside the block of %s" % (where, block[0]))
            return blocks, problems
    if block is not None:
        problems.append("the block of %s has no end record" % block[0])
    return blocks, problems


def parse_update(data):
    """(entries, problems)."""
    problems = []
    if not data:
        return [], problems
    if not data.endswith(b"\r\n"):
        problems.append("the last line has no CR LF")
    lines = data.split(b"\r\n")
    if lines[-1] == b"":
        lines.pop()
    for i, line in enumerate(lines):
        if not line or b"\r" in line or b"\n" in line:
            problems.append("line %d is %r" % (i + 1, line[:80]))
        elif i and line <= lines[i - 1]:
            problems.append("line %d %s after %s: %s" % (i + 1, line.decode(errors="replace"),
                                                        lines[i - 1].decode(errors="replace"),
                                                        "duplicate" if line == lines[i - 1] else "not sorted"))
    return [ln.decode(errors="replace") for ln in lines], problems


HEX_LIST = re.compile(r"^\s*([0-9A-Fa-f]{1,2}\s*(,\s*[0-9A-Fa-f]{1,2}\s*)*)?$")


def parse_quoted(s, pos):
    """(text, position after the closing quote), or None."""
    if pos >= len(s) or s[pos] != '"':
        return None
    out, i = [], pos + 1
    while i < len(s):
        c = s[i]
        if c == '"':
            return "".join(out), i + 1
        if c == "\\":
            if i + 1 >= len(s) or s[i + 1] not in '\\"':
                return None
            i += 1
            c = s[i]
        out.append(c)
        i += 1
    return None


def parse_hive(data):
    """({section: {name: value}}, problem or None). dword values as int, texts as str."""
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return {}, "not UTF-8"
    if "\0" in text:
        return {}, "binary data"
    if not text.endswith("\n"):
        return {}, "ends in the middle of a line"
    lines = [ln[:-1] if ln.endswith("\r") else ln for ln in text[:-1].split("\n")]
    if not lines or lines[0].rstrip(" \t") != "REGEDIT4":
        return {}, "no REGEDIT4 header"
    sections, current, i = {}, None, 1
    while i < len(lines):
        s = lines[i].lstrip(" \t")
        i += 1
        if not s or s[0] == ";":
            continue
        if s[0] == "[":
            s = s.rstrip(" \t")
            name = s[1:-1]
            if len(s) < 2 or s[-1] != "]":
                return sections, "line %d: unclosed section name" % i
            if not name.upper().startswith("HKEY_CURRENT_USER") or name[17:18] not in ("", "\\"):
                return sections, "line %d: section outside HKEY_CURRENT_USER" % i
            if "\\\\" in name or name.endswith("\\"):
                return sections, "line %d: bad key name" % i
            current = sections.setdefault(name, {})
            continue
        if current is None:
            return sections, "line %d: value before the first section" % i
        if s[0] == "@":
            name, pos = "", 1
        else:
            q = parse_quoted(s, 0)
            if q is None:
                return sections, "line %d: bad value name" % i
            name, pos = q
        rest = s[pos:].lstrip(" \t")
        if not rest.startswith("="):
            return sections, "line %d: no '=' after the value name" % i
        rest = rest[1:].lstrip(" \t")
        if rest.startswith('"'):
            q = parse_quoted(rest, 0)
            if q is None or rest[q[1]:].strip(" \t"):
                return sections, "line %d: bad text value" % i
            current[name] = q[0]
        elif rest.startswith("dword:"):
            digits = rest[6:].rstrip(" \t")
            if not re.fullmatch(r"[0-9A-Fa-f]{8}", digits):
                return sections, "line %d: bad dword value" % i
            current[name] = int(digits, 16)
        elif rest.startswith("hex"):
            m = re.match(r"hex(\([0-9A-Fa-f]{1,8}\))?:(.*)$", rest)
            if not m:
                return sections, "line %d: bad hex value" % i
            body = m.group(2).rstrip(" \t")
            while body.endswith("\\"):
                if i >= len(lines):
                    return sections, "the file ends inside a continued hex list"
                body = body[:-1] + lines[i].rstrip(" \t")
                i += 1
            if not HEX_LIST.match(body):
                return sections, "line %d: bad hex byte" % i
            current[name] = body
        else:
            return sections, "line %d: unknown value form" % i
    return sections, None


# --- files on disk -----------------------------------------------------------------------

class Hasher:
    """Digests of files, remembered while the file's inode, size and stamps stay the same."""

    def __init__(self):
        self.known = {}

    def digest(self, path):
        st = os.lstat(path)
        key = (st.st_ino, st.st_size, st.st_mtime_ns, st.st_ctime_ns)
        hit = self.known.get(path)
        if hit and hit[0] == key:
            return hit[1], int(st.st_mtime)
        h = hashlib.sha1()
        with open(path, "rb") as f:
            while True:
                chunk = f.read(MIB)
                if not chunk:
                    break
                h.update(chunk)
        d = h.hexdigest()
        self.known[path] = (key, d)
        return d, int(st.st_mtime)


def walk_files(root):
    """Relative paths of every file below root, and of the temporaries among them."""
    finals, temps = [], []
    for dirpath, dirnames, names in os.walk(root):
        dirnames.sort()
        for n in sorted(names):
            rel = os.path.relpath(os.path.join(dirpath, n), root)
            (temps if TEMP_MARK in n else finals).append(rel)
    return finals, temps


def ident(path):
    try:
        st = os.lstat(path)
        return (st.st_ino, st.st_mtime_ns, st.st_size)
    except FileNotFoundError:
        return None


# --- the source tree ---------------------------------------------------------------------

class Sources:
    """The tree under src: sync/, table/ and single/, with every version ever written.

    A version is (digest, stamp). Stamps are whole even seconds that never repeat, so every
    new version differs from the mirror's copy in its 2-second stamp."""

    BIG = ("sync/big0.bin", "sync/d01/big1.bin", "table/big0.bin", "table/d02/big1.bin", "single/image.bin")

    def __init__(self, root, rng, small=False):
        self.root = root
        self.rng = rng
        # A small tree keeps a run's system calls few, for kills at each of them.
        self.folders, self.files = (3, 24) if small else (16, 400)
        self.big = (2000, 5000) if small else (2 * MIB, 5 * MIB)
        self.cur = {}
        self.versions = {}
        self.clock = int(time.time()) // 2 * 2 - 40 * 86400
        self.dirs = {"sync": [""], "table": [""]}
        self.serial = 0

    def path(self, rel):
        return os.path.join(self.root, rel)

    def write(self, rel, size):
        data = self.rng.randbytes(size)
        p = self.path(rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)
        self.clock += 2
        os.utime(p, (self.clock, self.clock))
        v = (hashlib.sha1(data).hexdigest(), self.clock)
        self.cur[rel] = v
        self.versions.setdefault(rel, []).append(v)

    def delete(self, rel):
        os.unlink(self.path(rel))
        del self.cur[rel]

    def small_size(self):
        return self.rng.choice((0, 1, 100, 700, 2000, 5000, 9000, 16000, 40000))

    def new_name(self, area):
        self.serial += 1
        d = self.rng.choice(self.dirs[area])
        pattern = self.rng.choice(("f%04d.txt", "note %04d.doc", "写真%04d.jpg", "F%04d.DAT"))
        return "/".join(x for x in (area, d, pattern % self.serial) if x)

    def generate(self):
        for area in ("sync", "table"):
            for i in range(self.folders):
                parent = self.rng.choice(self.dirs[area])
                self.dirs[area].append("/".join(x for x in (parent, "d%02d" % i) if x))
            for _ in range(self.files):
                self.write(self.new_name(area), self.small_size())
        for rel in self.BIG:
            self.write(rel, self.rng.randint(*self.big))

    def small_files(self):
        return sorted(r for r in self.cur if r not in self.BIG and not r.startswith("single/"))

    def mutate(self):
        """Changes, adds and deletes some files; returns the relative paths changed or added."""
        changed = set()
        for rel in self.rng.sample(self.small_files(), self.rng.randint(1, 20)):
            self.write(rel, self.small_size())
            changed.add(rel)
        for rel in self.BIG:
            if self.rng.random() < 0.3:
                self.write(rel, self.rng.randint(*self.big))
                changed.add(rel)
        # As many added as deleted on average: a long run keeps the tree's size and depth.
        for _ in range(self.rng.randint(0, 4)):
            area = self.rng.choice(("sync", "table"))
            if self.rng.random() < 0.2:
                parent = self.rng.choice([d for d in self.dirs[area] if d.count("/") < 3])
                self.dirs[area].append("/".join(x for x in (parent, "n%04d" % self.serial) if x))
            rel = self.new_name(area)
            self.write(rel, self.small_size())
            changed.add(rel)
        for rel in self.rng.sample(self.small_files(), self.rng.randint(0, 4)):
            self.delete(rel)
            changed.discard(rel)
        return changed

    def area_files(self, area):
        return {r for r in self.cur if r.startswith(area + "/")}


# --- one test bed ------------------------------------------------------------------------

class Bed:
    def __init__(self, base, binary, rng, small=False):
        self.base = base
        self.binary = binary
        self.home = os.path.join(base, "home")
        self.cfg = os.path.join(base, "cfg")
        self.hive = hive_path(self.cfg)
        self.logs = os.path.join(base, "logs")
        self.log = os.path.join(self.logs, "logfile.txt")
        self.top = os.path.join(base, "top")
        self.latest = os.path.join(self.top, "Latest")
        self.src = Sources(os.path.join(base, "src"), rng, small)
        self.list_path = os.path.join(self.home, LIST_FILE)
        self.update_path = os.path.join(self.home, "_update")
        self.table_path = os.path.join(self.home, "Renvo.ctf")
        self.out_path = os.path.join(base, "run-output.txt")
        self.table_address = os.path.join(self.src.root, "table")
        for d in (self.home, os.path.dirname(self.hive), self.logs):
            os.makedirs(d, exist_ok=True)
        self.base_list = (list_record(os.path.join(self.src.root, "sync"), "sync", option=1) +
                          list_record(self.table_address, "table", option=3) +
                          list_record(self.src.path("single/image.bin"), "single", kind=1, subfolders=0, masks="-"))
        self.hasher = Hasher()

    def write_hive(self):
        write_hive(self.hive, [("MirTopFolder", self.top), ("Mirroring", 0), ("TaskPriority", 2),
                               ("LimitHistory", LIMIT_HISTORY), ("EveryTimes", EVERY_TIMES), ("DoneStandard", 0),
                               ("DelOnNotExists", 1), ("LogFile", self.log), ("KeepLogFile", 1), ("LogAppend", 0)])

    def write_list(self, data):
        with open(self.list_path, "wb") as f:
            f.write(data)

    def reset_mirror(self):
        """Back to before the first run: no top folder, no update list, table, log or memory of
        the top folder."""
        shutil.rmtree(self.top, ignore_errors=True)
        for p in (self.update_path, self.table_path, self.log, os.path.join(self.home, "_rvtops")):
            if os.path.exists(p):
                os.unlink(p)
        self.write_hive()

    def settings(self):
        sections, problem = parse_hive(read_bytes(self.hive) or b"")
        return sections.get(HIVE_KEY, {}), problem

    def env(self):
        return dict(os.environ, RENVO_HOME=self.home, XDG_CONFIG_HOME=self.cfg)

    def argv(self, complete):
        return [self.binary] + (["--complete"] if complete else [])

    def start(self, complete):
        out = open(self.out_path, "wb")
        try:
            return subprocess.Popen(self.argv(complete), env=self.env(), stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT)
        finally:
            out.close()

    def output(self):
        return (read_bytes(self.out_path) or b"").decode(errors="replace")

    def mirror(self, root):
        """{rel: version} of the final names below root, and the temporaries."""
        finals, temps = walk_files(root)
        return {rel: self.hasher.digest(os.path.join(root, rel)) for rel in finals}, temps

    def table_blocks(self):
        data = read_bytes(self.table_path)
        return (None, []) if data is None else parse_table(data)

    def update_entries(self):
        data = read_bytes(self.update_path)
        return None if data is None else parse_update(data)[0]

    def history_folders(self):
        if not os.path.isdir(self.top):
            return {}
        return {n: ident(os.path.join(self.top, n)) for n in os.listdir(self.top) if re.fullmatch(r"History\d+", n)}

    def generations(self):
        """{n: {rel: version}} of every generation folder HistoryN."""
        return {int(n[7:]): self.mirror(os.path.join(self.top, n))[0] for n in self.history_folders()}

    # What runs change, kept aside and put back: program folder, hive, log and top folder.
    STATE = ("home", "cfg", "logs", "top")

    def save_state(self, where):
        for d in self.STATE:
            if os.path.isdir(os.path.join(self.base, d)):
                shutil.copytree(os.path.join(self.base, d), os.path.join(where, d), symlinks=True)

    def restore_state(self, where):
        for d in self.STATE:
            shutil.rmtree(os.path.join(self.base, d), ignore_errors=True)
            if os.path.isdir(os.path.join(where, d)):
                shutil.copytree(os.path.join(where, d), os.path.join(self.base, d), symlinks=True)

    def temporaries(self):
        """Temporaries of the program anywhere it writes: program, top, log and hive folders."""
        found = []
        for root in (self.home, self.top, self.logs, os.path.dirname(self.hive)):
            if os.path.isdir(root):
                found += [os.path.join(root, t) for t in walk_files(root)[1]]
        return found


# --- the test ----------------------------------------------------------------------------

class Violations:
    SHOWN = 10  # lines per round and check: one lost update list fails every file of a tree

    def __init__(self, seed):
        self.seed = seed
        self.items = []
        self.by_area = {a: 0 for a in AREAS}
        self.by_kind = {k: 0 for k in KINDS}
        self.per_check = {}

    def add(self, rnd, kind, phase, check, area, text):
        self.items.append((rnd, check, text))
        self.by_area[area] += 1
        self.by_kind[kind] = self.by_kind.get(kind, 0) + 1
        n = self.per_check[(rnd, check)] = self.per_check.get((rnd, check), 0) + 1
        if n <= self.SHOWN:
            print("VIOLATION seed=%d round=%d run=%s phase=%s check %d [%s]: %s" %
                  (self.seed, rnd, kind, phase, check, area, text), flush=True)

    def end_round(self, rnd):
        for (r, check), n in sorted(self.per_check.items()):
            if r == rnd and n > self.SHOWN:
                print("VIOLATION seed=%d round=%d: %d more of check %d not shown" %
                      (self.seed, rnd, n - self.SHOWN, check), flush=True)


def area_of(rel):
    """The item a path belongs to: relative to Latest, or to the top folder (Latest/..., HistoryN/...)."""
    parts = rel.split("/")
    if len(parts) > 1 and re.fullmatch(r"Latest|History\d+", parts[0]):
        parts = parts[1:]
    return AREA_OF_TOP.get(parts[0], "program files")


def open_files(pid):
    """Where the files the process holds open lead, read just before it is killed."""
    out = []
    fd_dir = "/proc/%d/fd" % pid
    try:
        for fd in os.listdir(fd_dir):
            try:
                out.append(os.readlink(os.path.join(fd_dir, fd)))
            except OSError:
                pass
    except OSError:
        pass
    return out


def same_call(a, b):
    """The same call on the same paths, whatever random names its temporaries got."""
    norm = lambda p: re.sub(r"(?<=[-.#])[A-Za-z0-9]{6,}", "*", p or "")
    return a.name == b.name and [norm(p) for p in a.paths] == [norm(p) for p in b.paths]


class CrashTest:
    def __init__(self, args, small=False):
        self.args = args
        self.seed = args.seed
        self.rng = random.Random(self.seed)
        self.base = tempfile.mkdtemp(prefix="renvo-crash-")
        self.bed = Bed(self.base, args.bin, self.rng, small)
        self.v = Violations(self.seed)
        self.kills = 0
        self.finished_early = 0
        self.kills_by_kind = {k: 0 for k in KINDS}
        self.kills_by_phase = {p: 0 for p in PHASES}
        self.length = {}
        self.pending = set()  # changed or added since the last history step
        self.queued_stale = set()  # table entries whose file had gone, queued since then
        self.gens = []  # what History1, History2, ... held after the last history step
        self.step_latest = {}  # Latest after it
        self.list_now = self.bed.base_list
        self.kept = []
        self.round = 0
        self.round_failed = False
        self.checked = {"Latest files after kills": 0, "generation checks": 0, "generation files": 0}

    # -- helpers

    def fail(self, kind, phase, check, area, text):
        self.v.add(self.round, kind, phase, check, area, text)
        if not self.round_failed and self.args.keep and len(self.kept) < 3:
            dst = "%s-seed%d-round%d" % (self.base, self.seed, self.round)
            shutil.copytree(self.base, dst, symlinks=True)
            self.kept.append(dst)
            print("  kept the work folder as it was at this check: %s" % dst, flush=True)
        self.round_failed = True

    def run_kind(self, forced):
        s, problem = self.bed.settings()
        if problem:
            return "complete" if forced else "standard", 0
        done = s.get("DoneStandard", 0)
        return ("complete" if forced or done >= s.get("EveryTimes", 5) else "standard"), done

    def stale_entries(self, label):
        """The table item's listing a run of this kind takes from Renvo.ctf (None when it scans),
        and the entries of it whose file has gone: their copies fail."""
        if label != "standard":
            return None, []
        blocks = self.bed.table_blocks()[0] or []
        cached = next((e for a, e in blocks if a == self.bed.table_address), None)
        root = self.bed.src.root
        return cached, sorted(e for e in (cached or []) if os.path.relpath(e, root) not in self.bed.src.cur)

    def new_mirror(self):
        """An empty top folder: every source file is new, there is no generation."""
        self.bed.reset_mirror()
        self.pending = set(self.bed.src.cur)
        self.queued_stale, self.gens, self.step_latest = set(), [], {}

    def queue_stale(self, stale):
        self.queued_stale |= {os.path.relpath(e, self.bed.src.root) for e in stale}

    def state_before_run(self):
        bed = self.bed
        pre_latest = bed.mirror(bed.latest)[0] if os.path.isdir(bed.latest) else {}
        pre = {
            "log": ident(bed.log), "update": ident(bed.update_path), "update_data": read_bytes(bed.update_path),
            "table": ident(bed.table_path), "history": bed.history_folders(),
            "deletable": {rel for rel in pre_latest if rel.startswith("sync/") and rel not in bed.src.cur},
        }
        return pre_latest, pre

    def run_through(self, complete):
        start = time.monotonic()
        p = self.bed.start(complete)
        rc = p.wait()
        return rc, time.monotonic() - start

    # -- calibration: the length of uninterrupted runs of each kind

    def calibrate(self):
        bed = self.bed
        bed.src.generate()
        bed.write_list(bed.base_list)
        times = {k: [] for k in KINDS}
        # The longest of three: a run whose changes include big files takes several times longer.
        for _ in range(3):
            bed.reset_mirror()
            for kind, complete in (("first", False), ("standard", False), ("complete", True)):
                if kind != "first":
                    bed.src.mutate()
                label = self.run_kind(complete)[0]
                want_rc = 1 if self.stale_entries(label)[1] else 0
                rc, t = self.run_through(complete)
                if rc != want_rc:
                    shutil.rmtree(self.base, ignore_errors=True)
                    sys.exit("crash test: an uninterrupted %s run exited %d:\n%s" % (kind, rc, bed.output()))
                times[kind].append(t)
        self.length = {k: max(v) for k, v in times.items()}
        print("uninterrupted run: " + ", ".join("%s %.3f s" % (k, self.length[k]) for k in KINDS), flush=True)

    # -- one round

    def one_round(self):
        bed, rng = self.bed, self.rng
        self.round += 1
        self.round_failed = False
        r = rng.random()
        first = r < 0.15
        forced = (first and rng.random() < 0.3) or (not first and r < 0.40)
        if first:
            self.new_mirror()
        changed = bed.src.mutate()
        self.pending |= changed
        label, done_before = self.run_kind(forced)
        kind = "first" if first else label

        # A vanished item on purpose: the run must drop it, and nothing else.
        list_before = self.list_now
        list_after = self.list_now
        if rng.random() < 0.2:
            gone = list_record(os.path.join(bed.src.root, "gone-%d" % self.round), "gone", option=1)
            at = rng.randint(0, len(self.list_now) // ITEM_SIZE) * ITEM_SIZE
            list_before = self.list_now[:at] + gone + self.list_now[at:]
            bed.write_list(list_before)

        pre_latest, pre = self.state_before_run()
        stale = self.stale_entries(label)[1]
        self.queue_stale(stale)
        want_rc = 1 if stale else 0
        delay = rng.uniform(0, self.length[kind])
        start = time.monotonic()
        p = bed.start(forced)
        time.sleep(max(0.0, start + delay - time.monotonic()))
        held = open_files(p.pid) if p.poll() is None else []
        try:
            p.send_signal(signal.SIGKILL)
        except ProcessLookupError:
            pass
        rc = p.wait()
        killed = rc == -signal.SIGKILL
        if not killed:
            self.finished_early += 1
            if rc != want_rc:
                self.fail(kind, "exited", 4, "program files",
                          "the run ended by itself with status %d, %d expected:\n%s" % (rc, want_rc, bed.output()))

        def phase_of(latest, temps, consumed, list_changed):
            if not killed:
                return "exited"
            phase = self.phase_of(pre, held, pre_latest, latest, temps, label, consumed, list_changed)
            self.kills += 1
            self.kills_by_kind[kind] += 1
            self.kills_by_phase[phase] += 1
            return phase

        self.after_kill(kind, label, done_before, pre, pre_latest, list_before, list_after, phase_of)

    def after_kill(self, kind, label, done_before, pre, pre_latest, list_before, list_after, phase_of):
        """Checks 1 to 3 (and 5) on what a killed run left behind, then 4 and 5 on an uninterrupted
        run after it: a complete one after a complete one, so that one history step lies between."""
        bed = self.bed
        latest, temps = bed.mirror(bed.latest) if os.path.isdir(bed.latest) else ({}, [])
        now_list = read_bytes(bed.list_path)
        consumed = False
        if label == "complete":
            consumed = read_bytes(bed.update_path) == b"" and (
                pre["update"] is None or ident(bed.update_path) != pre["update"] or pre["update_data"] != b"")
        phase = phase_of(latest, temps, consumed, now_list != list_before)

        # 1. the list file
        if now_list not in (list_before, list_after):
            self.fail(kind, phase, 1, "program files",
                      "the list file is not the one written (%s bytes, %d or %d expected)" %
                      (None if now_list is None else len(now_list), len(list_before), len(list_after)))
        # 2. the program's own files
        self.check_own_files(kind, phase, done_before, label)
        # 3. Latest after the kill, and what the update list must name
        self.check_latest_after_kill(kind, phase, pre_latest, latest)
        if not consumed:
            self.check_update_covers(kind, phase, latest)
        # 4. (and 5.) an uninterrupted run puts everything right
        self.after_run(kind, phase + ", then the uninterrupted run", list_after, forced=label == "complete")
        self.v.end_round(self.round)

    def check_own_files(self, kind, phase, done_before, label):
        bed = self.bed
        data = read_bytes(bed.table_path)
        if data is not None:
            blocks, problems = parse_table(data)
            for pr in problems:
                self.fail(kind, phase, 2, "table", "Renvo.ctf: " + pr)
            seen = set()
            for address, entries in blocks:
                if address != bed.table_address:
                    self.fail(kind, phase, 2, "table", "Renvo.ctf has a block for %s, no table item" % address)
                elif address in seen:
                    self.fail(kind, phase, 2, "table", "Renvo.ctf has two blocks for %s" % address)
                seen.add(address)
                strays = [e for e in entries if not e.startswith(address + "/")]
                if strays:
                    self.fail(kind, phase, 2, "table", "Renvo.ctf lists %s in the block of %s" % (strays[0], address))
        data = read_bytes(bed.update_path)
        if data is not None:
            entries, problems = parse_update(data)
            for pr in problems:
                self.fail(kind, phase, 2, "program files", "_update: " + pr)
            unknown = [e for e in entries if e not in bed.src.versions]
            if unknown:
                self.fail(kind, phase, 2, "program files", "_update names %s, never a source file" % unknown[0])
        s, problem = bed.settings()
        if problem:
            self.fail(kind, phase, 2, "program files", "the hive does not parse: " + problem)
        else:
            after = 0 if label == "complete" else done_before + 1
            if s.get("DoneStandard") not in (done_before, after):
                self.fail(kind, phase, 2, "program files", "DoneStandard is %s, %d or %d expected" %
                          (s.get("DoneStandard"), done_before, after))
            for name, want in (("MirTopFolder", bed.top), ("LogFile", bed.log), ("EveryTimes", EVERY_TIMES),
                               ("LimitHistory", LIMIT_HISTORY)):
                if s.get(name) != want:
                    self.fail(kind, phase, 2, "program files",
                              "the hive's %s is %r, %r expected" % (name, s.get(name), want))
        corrupt = [n for n in os.listdir(os.path.dirname(bed.hive)) if n.startswith("user.reg.corrupt-")]
        if corrupt:
            self.fail(kind, phase, 2, "program files", "the hive was put aside as %s" % corrupt[0])

    def check_latest_after_kill(self, kind, phase, pre_latest, latest):
        src = self.bed.src
        self.checked["Latest files after kills"] += len(latest)
        for rel, got in sorted(latest.items()):
            allowed = [v for v in (pre_latest.get(rel), src.cur.get(rel)) if v]
            if got in allowed:
                continue
            versions = src.versions.get(rel)
            if versions is None:
                what = "a file that never was a source"
            elif got in versions:
                what = "version %d of %d, neither the copy before the run nor the current one" % (
                    versions.index(got) + 1, len(versions))
            elif got[0] in [v[0] for v in versions]:
                what = "a version's content with another stamp"
            else:
                what = "no version of its source"
            self.fail(kind, phase, 3, area_of(rel), "Latest/%s holds %s" % (rel, what))
        for rel in sorted(pre_latest):
            if rel not in latest and (rel in src.cur or not rel.startswith("sync/")):
                self.fail(kind, phase, 3, area_of(rel), "Latest/%s was lost although %s" % (
                    rel, "its source remains" if rel in src.cur else "its item keeps deleted files"))

    def check_update_covers(self, kind, phase, latest):
        entries = set(self.bed.update_entries() or [])
        cur = self.bed.src.cur
        missing = sorted(rel for rel in self.pending
                         if rel in cur and latest.get(rel) == cur[rel] and rel not in entries)
        for rel in missing:
            self.fail(kind, phase, 5, area_of(rel), "Latest/%s holds a version copied since the last history step "
                      "but _update does not name it" % rel)

    def check_generations(self, kind, phase, complete, latest):
        """Every generation after an uninterrupted run: since the last history step a complete run
        (with the killed one before it) has made exactly one more, a standard run none."""
        have = self.bed.generations()
        old = self.gens
        self.checked["generation checks"] += 1
        self.checked["generation files"] += sum(len(g) for g in have.values())
        # Copies made in Latest since the last step must be in the new generation; it may hold
        # any other file queued since then (a changed file deleted before its copy, a table
        # entry whose file had gone), always as Latest holds it.
        must = {rel for rel, v in latest.items() if self.step_latest.get(rel) != v}
        maybe = self.pending | self.queued_stale

        def problems(gen):
            out = ["%s is missing" % rel for rel in sorted(must - set(gen))]
            return out + ["%s %s" % (rel, "is not the copy in Latest" if rel in maybe else
                                     "was not queued since the last history step")
                          for rel, v in sorted(gen.items()) if rel not in maybe or latest.get(rel) != v]

        stepped = complete and (bool(must) or have != dict(enumerate(old, 1)))

        def name(gen):
            if gen in old:
                return "former History%d" % (old.index(gen) + 1)
            return "new" if stepped and not problems(gen) else "other"

        want = dict(enumerate(((["new"] if stepped else []) +
                               ["former History%d" % n for n in range(1, len(old) + 1)])[:LIMIT_HISTORY], 1))
        got = {n: name(g) for n, g in have.items()}
        if got != want:
            show = lambda d: " ".join("History%d=%s" % kv for kv in sorted(d.items())) or "none"
            text = "generations %s, expected %s" % (show(got), show(want))
            if stepped and got.get(1) == "other":
                text += "; History1: " + ", ".join(problems(have[1])[:3])
            self.fail(kind, phase, 5, "history", text)
        self.gens = [have[n] for n in sorted(have)]
        if stepped:
            self.pending, self.queued_stale, self.step_latest = set(), set(), dict(latest)

    def phase_of(self, pre, held, pre_latest, latest, temps, label, consumed, list_changed):
        """The furthest step the killed run had reached, from what it held open and left behind."""
        bed = self.bed
        reached = {"start"}
        home = bed.home + "/"
        for path in held:
            name = os.path.basename(path)
            if path == bed.list_path or path.startswith(bed.src.root + "/") and os.path.isdir(path):
                reached.add("evaluate")
            elif path.startswith(bed.latest + "/") and os.path.isdir(path):
                reached.add("evaluate")
            elif path.startswith(bed.src.root + "/"):
                reached.add("copy")  # a source is read only to be copied
            elif path.startswith(home + "._update" + TEMP_MARK):
                reached.add("evaluate")
            elif path.startswith(home + "._rvffl2" + TEMP_MARK):
                reached.add("drop")
            elif path.startswith(home + ".Renvo.ctf" + TEMP_MARK):
                reached.add("end")
            elif path.startswith(os.path.join(bed.top, "History")) or (path == bed.top and label == "complete"):
                reached.add("history")
            elif path.startswith(bed.latest + "/") and TEMP_MARK in name:
                reached.add("copy")
            elif path.startswith(bed.latest + "/") and label == "complete":
                reached.add("history")  # History1 is copied from Latest
        if ident(bed.update_path) != pre["update"]:
            reached.add("evaluate")
        if ident(bed.log) != pre["log"]:
            text = (read_bytes(bed.log) or b"").decode(errors="replace")
            reached.add("end" if "実行終了: " in text else "copy")
        if any(TEMP_MARK in n for n in os.listdir(bed.logs)):
            reached.add("copy")
        if temps or any(latest.get(rel) != v for rel, v in pre_latest.items() if rel in latest) or \
                any(rel not in pre_latest for rel in latest):
            reached.add("copy")
        if any(rel not in latest for rel in pre["deletable"]):
            reached.add("delete")
        if list_changed:
            reached.add("drop")
        if label == "complete" and bed.history_folders() != pre["history"]:
            reached.add("history")
        if consumed or (ident(bed.table_path) not in (pre["table"], None)):
            reached.add("end")
        return max(reached, key=RANK.get)

    def after_run(self, kind, phase, list_after, forced=False):
        """Checks 4 and 5: one uninterrupted run mends what the kill left."""
        bed = self.bed
        label, done_before = self.run_kind(forced)
        cached, stale = self.stale_entries(label)
        self.queue_stale(stale)
        table_before = read_bytes(bed.table_path)
        src = bed.src
        rc, _ = self.run_through(forced)
        want_rc = 1 if stale else 0
        out = bed.output()
        if rc != want_rc:
            self.fail(kind, phase, 4, "program files", "the uninterrupted %s run exited %d, %d expected:\n%s" %
                      (label, rc, want_rc, out.strip()))
        log = (read_bytes(bed.log) or b"").decode(errors="replace")
        failed = sorted(m.group(1) for m in re.finditer(r"^複製失敗: (.*) ->X ", log, re.M))
        if failed != stale:
            self.fail(kind, phase, 4, "table", "failed copies %s, expected %s (table entries whose file has gone)" %
                      (failed[:3], stale[:3]))

        for t in bed.temporaries():
            self.fail(kind, phase, 4, area_of(os.path.relpath(t, bed.top)) if t.startswith(bed.top + "/")
                      else "program files", "temporary left behind: %s (removed now)" % os.path.relpath(t, bed.base))
            os.unlink(t)
        if os.path.exists(os.path.join(bed.home, "_rvbak")):
            self.fail(kind, phase, 4, "program files", "_rvbak left behind")
        if read_bytes(bed.list_path) != list_after:
            self.fail(kind, phase, 4, "program files", "the list file is not the one expected after the run")
        self.list_now = list_after
        self.check_own_files(kind, phase, done_before, label)
        s, _ = bed.settings()
        want_done = 0 if label == "complete" else done_before + 1
        if s.get("DoneStandard") != want_done:
            self.fail(kind, phase, 4, "program files",
                      "DoneStandard is %s, %d expected" % (s.get("DoneStandard"), want_done))

        latest = bed.mirror(bed.latest)[0] if os.path.isdir(bed.latest) else {}
        # The sync item: Latest equals the source tree.
        want = src.area_files("sync")
        have = {r for r in latest if r.startswith("sync/")}
        for rel in sorted(want - have):
            self.fail(kind, phase, 4, "sync", "Latest/%s is missing" % rel)
        for rel in sorted(have - want):
            self.fail(kind, phase, 4, "sync", "Latest/%s is still there, its source has gone" % rel)
        # The table item: every file the run was to see; the file item: its file.
        if cached is not None:
            seen = {os.path.relpath(e, src.root) for e in cached} & set(src.cur)
        else:
            seen = src.area_files("table")
        for rel in sorted(want | seen | src.area_files("single")):
            if rel in latest and latest[rel] != src.cur[rel]:
                self.fail(kind, phase, 4, area_of(rel), "Latest/%s is not the current version" % rel)
            elif rel not in latest and not rel.startswith("sync/"):
                self.fail(kind, phase, 4, area_of(rel), "Latest/%s is missing" % rel)
        for rel in sorted(latest):
            if rel not in src.versions or latest[rel] not in src.versions[rel]:
                self.fail(kind, phase, 4, area_of(rel), "Latest/%s holds no version of its source" % rel)
        # The table: the listing the run used, or a fresh one.
        blocks = bed.table_blocks()[0] or []
        mine = [e for a, e in blocks if a == bed.table_address]
        if len(mine) != 1:
            self.fail(kind, phase, 4, "table", "Renvo.ctf holds %d blocks for the table item" % len(mine))
        elif cached is not None:
            if read_bytes(bed.table_path) != table_before:
                self.fail(kind, phase, 4, "table", "Renvo.ctf changed in a standard run that found its block")
        elif {os.path.relpath(e, src.root) for e in mine[0]} != src.area_files("table"):
            self.fail(kind, phase, 4, "table", "Renvo.ctf does not list the table folder as it is")
        extra = [n for n in bed.history_folders() if int(n[7:]) > LIMIT_HISTORY or int(n[7:]) < 1]
        if extra:
            self.fail(kind, phase, 4, "program files", "generation folders beyond the limit: %s" % sorted(extra))

        if label == "complete" and read_bytes(bed.update_path) != b"":
            self.fail(kind, phase, 5, "program files", "_update is not empty after a complete run")
        if label != "complete":
            self.check_update_covers(kind, phase, latest)
        self.check_generations(kind, phase, label == "complete", latest)

    # -- the whole test

    def run(self):
        began = time.monotonic()
        print("crash test: seed %d, work folder %s" % (self.seed, self.base), flush=True)
        self.calibrate()
        self.new_mirror()
        self.bed.write_list(self.bed.base_list)
        self.list_now = self.bed.base_list
        step = max(1, self.args.kills // 10)
        while self.kills < self.args.kills:
            before = self.kills
            self.one_round()
            if self.kills != before and self.kills % step == 0:
                print("  %d kills, %d violations, %.0f s" % (self.kills, len(self.v.items), time.monotonic() - began),
                      flush=True)
        v = self.v
        print()
        for k in KINDS:
            print("run %-8s: %4d kills, %3d violations" % (k, self.kills_by_kind[k], v.by_kind[k]))
        for a in AREAS:
            print("mode %-13s: %3d violations" % (a, v.by_area[a]))
        print("kills by phase: " + ", ".join("%s %d" % (p, self.kills_by_phase[p]) for p in PHASES))
        print("rounds: %d (%d runs ended before their kill), %.1f s" %
              (self.round, self.finished_early, time.monotonic() - began))
        return self.finish("crash test")

    def finish(self, what):
        print("checked: " + ", ".join("%s %d" % kv for kv in self.checked.items()))
        if self.v.items and self.args.keep:
            print("work folder kept: %s" % self.base)
        else:
            shutil.rmtree(self.base, ignore_errors=True)
            for k in self.kept:
                print("kept: %s" % k)
        print("%s: %d kills, %d violations" % (what, self.kills, len(self.v.items)), flush=True)
        return 1 if self.v.items else 0

    # -- kills at exact system calls

    def history_calls(self, calls):
        """The calls of the history step and the saves after it: from the first one on a
        generation folder, or from the first after the last one only on Latest if that is sooner."""
        bed = self.bed
        gen = re.compile(re.escape(bed.top) + r"/\.?History")
        on_gen = [i for i, c in enumerate(calls) if any(gen.match(p or "") for p in c.paths)]
        on_latest = [i + 1 for i, c in enumerate(calls)
                     if c.paths and all((p or "").startswith(bed.latest + "/") for p in c.paths)]
        if not on_gen:
            return []
        return calls[min(on_gen[0], on_latest[-1] if on_latest else on_gen[0]):]

    def exact(self):
        """Kills a complete run on entering each changing system call of its history step and
        the saves after it, each time from the same state, and checks as after a random kill."""
        if not syscallkill.supported():
            print("crash test, exact kills: skipped, the tracer knows the system calls of x86-64 Linux only")
            return 0
        began = time.monotonic()
        bed = self.bed
        print("crash test, exact kills: seed %d, work folder %s" % (self.seed, self.base), flush=True)
        bed.src.generate()
        self.new_mirror()
        bed.write_list(bed.base_list)
        # History1..3 full and the oldest rotated away once; then changes copied by a standard
        # run and more for the complete run, which also drops a vanished item.
        for n in range(5):
            if n:
                self.pending |= bed.src.mutate()
            self.after_run("exact", "run %d before the kills" % (n + 1), bed.base_list, forced=n < 4)
        self.pending |= bed.src.mutate()
        list_before = list_record(os.path.join(bed.src.root, "gone"), "gone", option=1) + bed.base_list
        bed.write_list(list_before)
        start = os.path.join(self.base, "start")
        bed.save_state(start)
        model = copy.deepcopy((self.pending, self.queued_stale, self.gens, self.step_latest))

        rc, calls = syscallkill.run(bed.argv(True), bed.env(), bed.out_path, record=True)
        targets = self.history_calls(calls)
        if rc != 0 or not targets:
            self.fail("exact", "trace", 4, "history", "the traced complete run exited %s with %d calls on a "
                      "generation folder:\n%s" % (rc, len(targets), bed.output()))
        where = lambda c: "#%d %s %s" % (c.n, c.name, " ".join(
            os.path.relpath(p, self.base) if (p or "").startswith(self.base) else str(p) for p in c.paths))
        print("%d changing system calls, kills at #%d to #%d (from %s)" %
              (len(calls), targets[0].n, targets[-1].n, where(targets[0])) if targets else "", flush=True)
        landed = ran_out = 0
        for call in targets:
            self.round += 1
            self.round_failed = False
            bed.restore_state(start)
            self.pending, self.queued_stale, self.gens, self.step_latest = copy.deepcopy(model)
            label, done_before = self.run_kind(True)
            pre_latest, pre = self.state_before_run()
            rc, killed = syscallkill.run(bed.argv(True), bed.env(), bed.out_path, kill_at=call.n)
            phase = "killed at " + where(call)
            # The run copies two files at a time and removes the oldest generation on a thread
            # of its own: the calls of its threads interleave differently from run to run, so
            # the n-th changing call may be another one of the same step (or, when the threads
            # made a call more or less, the run may end before it). Every kill is checked all
            # the same; how many landed on the traced call is told at the end.
            if rc == 0 and not killed and call.n > len(calls) - 4:
                ran_out += 1
                continue
            if rc != -signal.SIGKILL or len(killed) != 1:
                self.fail("exact", phase, 4, "history", "the run was not killed: exit %s at %s" %
                          (rc, where(killed[0]) if killed else "no call"))
            elif same_call(killed[0], call):
                landed += 1
            else:
                phase = "killed at " + where(killed[0]) + " (traced there: " + where(call) + ")"
            self.kills += 1
            self.after_kill("exact", label, done_before, pre, pre_latest, list_before, bed.base_list,
                            lambda *_: phase)
        print("exact kills done in %.1f s: %d of %d on the traced call, %d past the run's end" % (
            time.monotonic() - began, landed, len(targets), ran_out))
        return self.finish("crash test, exact kills")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bin", required=True, help="the renvo-run to test")
    ap.add_argument("--kills", type=int, default=100, help="kills to make (1000 for a long run)")
    ap.add_argument("--seed", type=int, help="seed of the trees, changes and delays (printed)")
    ap.add_argument("--exact", action="store_true",
                    help="also kill at each changing system call of a complete run's history step")
    ap.add_argument("--keep", action="store_true", help="keep the work folder of a failed check")
    args = ap.parse_args()
    args.bin = os.path.abspath(args.bin)
    if not os.access(args.bin, os.X_OK):
        sys.exit("crash test: no program at %s" % args.bin)
    if args.seed is None:
        args.seed = int.from_bytes(os.urandom(4), "little")
    failed = CrashTest(args).run() if args.kills else 0
    if args.exact:
        failed |= CrashTest(args, small=True).exact()
    return failed


if __name__ == "__main__":
    sys.exit(main())
