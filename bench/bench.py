#!/usr/bin/env python3
"""Times renvo-run against cp -a and rsync on the same generated trees, in one run.

Scenarios, for each tree size (medians; nothing passes or fails):
  first     first run into an empty top folder       vs cp -a (each into a folder that never existed)
  nochange  standard run, nothing changed            vs rsync -a --delete (plus system calls per file)
  touched   standard run after 1% of files touched   vs rsync -a --delete
  complete  complete run after 1% touched, with the history already full (LimitHistory 3)
                                                     vs rsync -a --delete after the same touch
  table     table-mode standard run, nothing changed vs the sync-mode standard run
Runs of the compared tools are taken in turns, each first run after a sync of the disk (untimed),
so that renvo-run's durability step writes its own copies only. First runs go into folders that never existed,
in batches the copy budget holds; a batch's copies are removed before the next one, which waits
for the removed inodes to be reusable. The table at the end gives the ratio to the reference and
the goal it is read against, renvo-run's peak resident memory and bytes per file, and the growth
from the first size (or from 100,000 files with --scale).
"""
import argparse
import datetime
import hashlib
import json
import mmap
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "pylib"))
from renvofiles import LIST_FILE, hive_path, list_record, write_hive  # noqa: E402

BIG_FILES = 5
BIG_SIZE = 50 * 1024 * 1024
LIMIT_HISTORY = 3
BASE_FILES = 100000
# Memory goal: what the process needs beyond this fixed part, per file of the tree.
FIXED_RSS = 20 * 1024 * 1024
GOAL_BYTES_PER_FILE = 150
GOALS = {("first", "cp -a"): 1.0, ("nochange", "rsync -a --delete"): 0.4,
         ("complete", "rsync -a --delete"): 0.6}
# Allowed growth per doubling is 2.1: 1.05 times the growth of the tree.
GROWTH_SLACK = 1.05
GROWTH_LABELS = ("first", "nochange", "complete")
# ext4 without a journal skips inodes freed in the last minute (longer while their inode-table
# block is dirty): files created right after a large removal are several times slower. Removals
# are synced, and timed copies start this long after the last one (measured here: 100,000
# removed and synced, 20,000 files copied at once took 2.3 times as long, after 30 s as long).
REUSE_DELAY = 65
REMOVERS = 8
DISK_RESERVE = 5 * 2**30
T0 = time.monotonic()
SPENT = {}  # seconds per kind of step, for planning runs at other sizes


def log(text):
    print("[%6.0f s] %s" % (time.monotonic() - T0, text), flush=True)


def spend(kind, since):
    SPENT[kind] = SPENT.get(kind, 0) + time.monotonic() - since


def generate_tree(root, files, folders, seed, big_files=BIG_FILES):
    """A repeatable tree: `folders` folders (depth up to 4), `files` files of 1-8 KiB, `big_files` of 50 MiB.

    A finished tree is kept (its marker file) and reused; give trees of different shapes roots of
    their own. Written with bare system calls and stamped while open (no second walk): 100,000
    files take about 9 s here."""
    marker = os.path.join(root, ".complete")
    if os.path.exists(marker):
        return
    if os.path.exists(root):
        shutil.rmtree(root)
    rng = random.Random(seed)
    dirs = [("", 0)]
    for i in range(folders):
        parent, depth = rng.choice([d for d in dirs[-200:] if d[1] < 4] or [("", 0)])
        dirs.append((os.path.join(parent, "dir%04d" % i), depth + 1))
    paths = [os.path.join(root, d) for d, _ in dirs]
    for p in paths:
        os.makedirs(p, exist_ok=True)
    # Stamps in the past, so a touch always changes them.
    past = time.time_ns() - 86400 * 30 * 10**9
    flags = os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_CLOEXEC

    def write(path, chunks):
        fd = os.open(path, flags, 0o644)
        try:
            for c in chunks:
                os.write(fd, c)
            os.utime(fd, ns=(past, past))
        finally:
            os.close(fd)

    pool = memoryview(rng.randbytes(8 * 1024 * 64))
    for i in range(files):
        d = paths[rng.randrange(len(dirs))]
        size = rng.randint(1024, 8192)
        off = rng.randrange(len(pool) - size)
        write("%s/file%06d.dat" % (d, i), (pool[off:off + size],))
    chunk = rng.randbytes(1024 * 1024)
    for i in range(big_files):
        write(os.path.join(root, "big%02d.bin" % i), [chunk] * (BIG_SIZE // len(chunk)))
    open(marker, "w").close()


def walk_tree(root):
    """The tree's files (sorted) and its number of folders."""
    out, folders = [], 0
    for dirpath, dirnames, names in os.walk(root):
        folders += len(dirnames)
        out.extend(os.path.join(dirpath, n) for n in names if n != ".complete")
    out.sort()
    return out, folders


def touch_some(files, fraction, seed):
    rng = random.Random(seed)
    now = time.time()
    for p in rng.sample(files, max(1, int(len(files) * fraction))):
        os.utime(p, (now, now))


def warm_memory(size=4 << 30):
    # Memory the virtual machine handed back is slow to touch again: one write per page backs
    # it, so the copies timed next do not pay for it. In a child of its own, so this process's
    # peak stays small (see timed).
    pid = os.fork()
    if pid == 0:
        block = mmap.mmap(-1, size)
        block[::mmap.PAGESIZE] = b"\1" * (size // mmap.PAGESIZE)
        os._exit(0)
    os.waitpid(pid, 0)


def timed(cmd, env=None, memory=False):
    """Wall time and, with memory, the peak resident memory (KiB) of one command.

    A child's peak counts the memory of the process it was forked from (a vfork shares all of
    it), and this one holds the list of a million names: so the peak is taken by GNU time, a
    small process of its own."""
    # Files, not pipes: a run that reports much would block on a full pipe.
    with tempfile.TemporaryFile() as err, tempfile.NamedTemporaryFile("r") as peak:
        full = ["/usr/bin/time", "-f", "%M", "-o", peak.name] + cmd if memory else cmd
        start = time.perf_counter()
        status = subprocess.run(full, env=env, stdout=subprocess.DEVNULL, stderr=err).returncode
        elapsed = time.perf_counter() - start
        if status != 0:
            err.seek(0)
            sys.exit("command failed (%d): %s\n%s" % (status, " ".join(cmd), err.read().decode(errors="replace")))
        return elapsed, int(peak.read().split()[-1]) if memory else 0


def count_syscalls(cmd, env, path):
    """System calls of one command and all its threads and children: (total, [(name, calls)] most first)."""
    proc = subprocess.run(["strace", "-c", "-f", "-o", path] + cmd, env=env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        sys.exit("command failed under strace (%d): %s\n%s" % (proc.returncode, " ".join(cmd),
                                                                 proc.stderr.decode(errors="replace")))
    return parse_strace_summary(open(path).read())


def parse_strace_summary(text):
    # Rows are "% time, seconds, usecs/call, calls, [errors], name"; the last row is the total.
    total, rows = 0, []
    for line in text.splitlines():
        parts = line.split()
        if len(parts) < 5 or not parts[3].isdigit():
            continue
        if parts[-1] == "total":
            total = int(parts[3])
        else:
            rows.append((parts[-1], int(parts[3])))
    rows.sort(key=lambda r: -r[1])
    return total or sum(c for _, c in rows), rows


class Renvo:
    """One program folder with its own hive, list and top folder."""

    def __init__(self, binary, base, source, option, top=None):
        self.binary = binary
        self.home = os.path.join(base, "home")
        self.top = top or os.path.join(base, "top")
        self.cfg = os.path.join(base, "cfg")
        os.makedirs(self.home, exist_ok=True)
        with open(os.path.join(self.home, LIST_FILE), "wb") as f:
            f.write(list_record(source, "src", option=option))

    def command(self, complete=False):
        # Fresh counters every time, so the run kind is the one asked for.
        write_hive(hive_path(self.cfg), [("MirTopFolder", self.top), ("Mirroring", 0), ("TaskPriority", 2),
                                         ("LimitHistory", LIMIT_HISTORY), ("EveryTimes", 99), ("DoneStandard", 0),
                                         ("LogFile", self.home + "/logfile.txt")])
        env = dict(os.environ, RENVO_HOME=self.home, XDG_CONFIG_HOME=self.cfg)
        return [self.binary] + (["--complete"] if complete else []), env

    def run(self, complete=False):
        return timed(*self.command(complete), memory=True)


def remove_trees(paths, workers=REMOVERS):
    """rm -rf of many trees, split into pieces removed side by side.

    The file system is mounted with discard: every freed file waits for its own discard, so one
    rm spends most of its time waiting, and several overlap those waits (measured here: six
    removed 60,000 files in 12 s where one took 73 s; at quieter moments 1.4 times faster)."""
    level, pieces = [p for p in paths if os.path.lexists(p)], []
    while level and len(level) < 16 * workers:
        deeper = []
        for p in level:
            if os.path.isdir(p) and not os.path.islink(p):
                deeper.extend(e.path for e in os.scandir(p))
            else:
                pieces.append(p)
        level = deeper
    pieces += level
    if pieces:
        with tempfile.NamedTemporaryFile("wb") as f:
            f.write(b"\0".join(os.fsencode(p) for p in pieces))
            f.flush()
            subprocess.run(["xargs", "-0", "-a", f.name, "-P", str(workers), "-n", "8", "rm", "-rf", "--"], check=True)
    for p in paths:  # the emptied folders above the pieces
        subprocess.run(["rm", "-rf", "--", p], check=True)


class Removals:
    """Removes finished copies, syncs, and keeps the next timed copies clear of inode reuse.

    The stamp holds the number of entries removed; bench/tree.sh reads it too (and waits a
    minute per 100,000 of them)."""

    def __init__(self, out):
        os.makedirs(out, exist_ok=True)
        self.stamp = os.path.join(out, ".removed")
        self.last = None  # monotonic time of this run's last removal: the clock may jump

    def _age(self):
        if self.last is not None:
            return time.monotonic() - self.last
        if not os.path.exists(self.stamp):
            return None
        return max(0.0, time.time() - os.path.getmtime(self.stamp))  # a stamp from the future is fresh

    def remove(self, paths, entries):
        start = time.monotonic()
        remove_trees(paths)
        os.sync()  # a dirty inode-table block keeps its freed inodes out of reuse for minutes
        log("removed %d entries in %.0f s" % (entries, time.monotonic() - start))
        spend("removing", start)
        left = 0
        if os.path.exists(self.stamp):
            try:
                before = int(open(self.stamp).read().strip() or BASE_FILES)
            except ValueError:
                before = BASE_FILES
            if not 0 <= before <= 10**8:  # written while the clock was off
                before = BASE_FILES
            left = max(0, 65 * ((before + 99999) // 100000) - self._age())
        with open(self.stamp, "w") as f:
            f.write("%d\n" % (entries + int(left * 100000 / 65)))
        self.last = time.monotonic()

    def wait(self):
        age = self._age()
        if age is not None and age < REUSE_DELAY:
            log("waiting %.0f s after the last removal ..." % (REUSE_DELAY - age))
            start = time.monotonic()
            time.sleep(REUSE_DELAY - age)
            spend("waiting", start)


def median(values):
    return statistics.median(values) if values else float("nan")


def tree_bytes(root):
    return int(subprocess.run(["du", "-sk", root], check=True, capture_output=True,
                              text=True).stdout.split()[0]) * 1024


class Point:
    """The measurements at one tree size."""

    def __init__(self, bench, files, first_runs, repeat, light=False):
        self.b, self.args = bench, bench.args
        self.files, self.first_runs, self.repeat, self.light = files, first_runs, repeat, light
        self.base = os.path.join(self.args.out, "n%d" % files)
        self.src = os.path.join(self.base, "src")
        self.results = []  # (label, renvo times, {reference: times}, peak KiB)
        self.syscalls = None
        self.table_on = not light and not bench.args.no_table

    def prepare(self):
        log("generating %d files in %d folders ..." % (self.files, self.files // 50))
        generate_tree(self.src, self.files, self.files // 50, seed=self.files)
        self.names, folders = walk_tree(self.src)
        self.entries = len(self.names) + folders + 1
        self.copy_bytes = tree_bytes(self.src)
        log("tree ready: %d files, %.2f GiB a copy" % (len(self.names), self.copy_bytes / 2**30))

    def plan(self):
        """First-run pairs per batch: as many as the budget holds, the kept mirrors beside the later ones."""
        self.keep = 3 if self.table_on else 2
        # The disk is shared: less when others have taken it, keeping a reserve free.
        budget = min(self.b.budget, shutil.disk_usage(self.args.out).free - DISK_RESERVE)
        if budget < self.b.budget:
            log("%.1f GiB free: copies held at most %.1f GiB" % ((budget + DISK_RESERVE) / 2**30, budget / 2**30))
        first = max(1, int(budget // (2 * self.copy_bytes)))
        later = max(1, int((budget - self.keep * self.copy_bytes) // (2 * self.copy_bytes)))
        if self.args.batch:
            first, later = min(first, self.args.batch), min(later, self.args.batch)
        for n in range(1, self.first_runs + 1):
            cuts = [self.first_runs * k // n for k in range(n + 1)]
            sizes = sorted((cuts[k + 1] - cuts[k] for k in range(n)), reverse=True)
            if sizes[0] <= first and (n == 1 or sizes[1] <= later):
                break
        starts = [0]
        for size in sizes:
            starts.append(starts[-1] + size)
        return [range(starts[k], starts[k + 1]) for k in range(n)]

    def run(self):
        self.work = os.path.join(self.base, "run-" + time.strftime("%H%M%S"))
        os.makedirs(self.work)
        rem = self.b.removals
        # The later runs use copies of the first batch: renvo's mirror, cp's first copy as rsync's
        # (cp -a keeps what rsync -a compares) and its second as the table-mode top folder.
        self.rv = os.path.join(self.work, "rv0")
        self.rs = os.path.join(self.work, "cp0", "Latest", "src")
        self.tb_top = os.path.join(self.work, "cp1")
        kept = {"rv0", "cp0", "cp1"}
        batches = self.plan()
        t = {"renvo": [], "cp -a": []}
        rss = []
        for k, batch in enumerate(batches):
            rem.wait()
            start = time.monotonic()
            warm_memory()
            log("memory warmed (4 GiB) in %.1f s" % (time.monotonic() - start))
            spend("warming memory", start)
            start = time.monotonic()
            for i in batch:
                runs = {}
                for tool in (("renvo", "cp") if i % 2 == 0 else ("cp", "renvo")):
                    # Untimed: renvo-run's one syncfs must not write out what cp -a left
                    # unwritten before it, nor cp -a start while renvo's copies are written.
                    os.sync()
                    if tool == "renvo":
                        e, m = Renvo(self.args.bin, os.path.join(self.work, "rv%d" % i), self.src, 1).run()
                        rss.append(m)
                        runs["renvo"] = e
                    else:
                        dst = os.path.join(self.work, "cp%d" % i, "Latest")
                        os.makedirs(dst)
                        runs["cp -a"] = timed(["cp", "-a", self.src, os.path.join(dst, "src")])[0]
                for tool, e in runs.items():
                    t[tool].append(e)
                log("first run %d/%d: renvo %.2f s, cp -a %.2f s" % (
                    i + 1, self.first_runs, runs["renvo"], runs["cp -a"]))
            spend("first runs", start)
            held = len([n for n in os.listdir(self.work) if n[:2] in ("rv", "cp")]) * self.copy_bytes
            log("first runs %d-%d: median renvo %.2f s, cp -a %.2f s; %.1f GiB of copies held, %.1f GiB free" % (
                batch.start + 1, batch.stop, median(t["renvo"][batch.start:]), median(t["cp -a"][batch.start:]),
                held / 2**30, shutil.disk_usage(self.work).free / 2**30))
            if k == 0:
                self.rsync()  # settles what cp -a and rsync -a keep differently
                gone = [os.path.join(self.work, "%s%d" % (m, i)) for i in batch for m in ("rv", "cp")
                        if "%s%d" % (m, i) not in kept]
                if len(batches) > 1 and gone:
                    log("removing %d copies ..." % len(gone))
                    rem.remove(gone, len(gone) * self.entries)
                # Neither tool creates files when nothing changed: the removal's delay runs meanwhile.
                self.nochange()
        self.results.insert(0, ("first", t["renvo"], {"cp -a": t["cp -a"]}, max(rss)))
        if not self.light:
            self.compare("touched", before=lambda rep: touch_some(self.names, 0.01, 1000 + rep))
        self.complete()
        if self.table_on:
            if not os.path.exists(self.tb_top):
                e, _ = timed(["cp", "-a", self.src, os.path.join(self.tb_top, "Latest", "src")])
                log("table-mode top folder copied (untimed): %.1f s" % e)
            self.table()
        self.finish()

    def mirror(self):
        return Renvo(self.args.bin, self.rv, self.src, 1)

    def rsync(self):
        return timed(["rsync", "-a", "--delete", self.src + "/", self.rs + "/"])[0]

    def compare(self, label, before=None, complete=False):
        rv = self.mirror()
        a, b, mem = [], [], []
        for rep in range(self.repeat):
            if before:
                before(rep)
            for which in ((0, 1) if rep % 2 == 0 else (1, 0)):
                if which == 0:
                    e, m = rv.run(complete)
                    a.append(e)
                    mem.append(m)
                else:
                    b.append(self.rsync())
        self.results.append((label, a, {"rsync -a --delete": b}, max(mem)))
        log("%s: median renvo %.3f s, rsync -a --delete %.3f s" % (label, median(a), median(b)))

    def nochange(self):
        self.compare("nochange")
        if self.light:
            return
        # One more run of each under strace, outside the timings: strace slows every call.
        rv = self.mirror()
        mine = count_syscalls(*rv.command(), os.path.join(self.args.out, "strace-%d-renvo.txt" % self.files))
        theirs = count_syscalls(["rsync", "-a", "--delete", self.src + "/", self.rs + "/"], None,
                                os.path.join(self.args.out, "strace-%d-rsync.txt" % self.files))
        self.syscalls = {"renvo": mine[0], "rsync": theirs[0], "renvo_top": mine[1][:6]}
        log("system calls per file: renvo %.2f, rsync %.2f" % (mine[0] / len(self.names), theirs[0] / len(self.names)))

    def complete(self):
        # Steady state: after LimitHistory + 1 complete runs the update list holds only the
        # last touch and the history is full, so every timed run copies 1%, rotates the
        # generations and removes one of 1%.
        rv = self.mirror()
        for k in range(LIMIT_HISTORY + 1):
            touch_some(self.names, 0.01, 3000 + k)
            rv.run(complete=True)
            self.rsync()
        log("complete: %d untimed complete runs done" % (LIMIT_HISTORY + 1))
        self.compare("complete", before=lambda rep: touch_some(self.names, 0.01, 2000 + rep), complete=True)

    def table(self):
        # Table mode against sync mode on the same mirror (the cp copy holds equal stamps).
        table = Renvo(self.args.bin, os.path.join(self.work, "tb"), self.src, 3, top=self.tb_top)
        table.run(complete=True)  # records the table
        rv = self.mirror()
        tb, sy, mem = [], [], []
        for rep in range(self.repeat):
            for which in ((0, 1) if rep % 2 == 0 else (1, 0)):
                if which == 0:
                    e, m = table.run()
                    tb.append(e)
                    mem.append(m)
                else:
                    sy.append(rv.run()[0])
        self.results.append(("table", tb, {"sync-mode run": sy}, max(mem)))
        log("table: median %.3f s, sync-mode run %.3f s" % (median(tb), median(sy)))

    def finish(self):
        # The first runs' extra copies go in any case; the mirrors too unless --keep.
        names = os.listdir(self.work)
        keep = {"rv0", "cp0", "cp1", "tb"} if self.args.keep else set()
        copies = sum(1 for n in names if n not in keep and n[:2] in ("rv", "cp"))
        gone = [os.path.join(self.work, n) for n in names if n not in keep] if keep else [self.work]
        log("removing %d copies of %d files ..." % (copies, self.files))
        self.b.removals.remove(gone, copies * self.entries)

    def medians(self):
        return {label: {"renvo": median(mine), "refs": {r: median(v) for r, v in refs.items()},
                        "peak_kib": mem, "runs": len(mine)}
                for label, mine, refs, mem in self.results}

    def save(self):
        path = os.path.join(self.args.out, "results-%d.json" % self.files)
        with open(path, "w") as f:
            json.dump({"files": self.files, "saved": datetime.datetime.now().isoformat(timespec="seconds"),
                       "binary": self.b.binary_id, "commit": self.b.commit, "medians": self.medians(),
                       "syscalls": self.syscalls}, f, indent=1)


class Bench:
    def __init__(self, args):
        self.args = args
        self.removals = Removals(args.out)
        self.budget = args.copy_budget * 2**30
        with open(args.bin, "rb") as f:
            self.binary_id = hashlib.sha256(f.read()).hexdigest()
        git = subprocess.run(["git", "-C", os.path.dirname(os.path.abspath(__file__)), "rev-parse", "--short", "HEAD"],
                             capture_output=True, text=True)
        self.commit = git.stdout.strip()

    def saved_base(self):
        """The 100,000-file medians a default run saved with this same renvo-run, or None."""
        path = os.path.join(self.args.out, "results-%d.json" % BASE_FILES)
        try:
            with open(path) as f:
                saved = json.load(f)
        except (OSError, ValueError):
            return None, "no saved 100,000-file medians (%s)" % path
        if saved.get("binary") != self.binary_id:
            return None, "the saved 100,000-file medians (%s) are of another renvo-run build" % saved.get("saved")
        return saved["medians"], "100,000-file medians read from %s (saved %s, same renvo-run build)" % (path, saved.get("saved"))


def print_report(points, base, base_note, sizes_note):
    print()
    load = open("/proc/loadavg").read().split()[:3]
    print("machine: %s, %d cores, load %s; %s" % (os.uname().release, os.cpu_count(), " ".join(load), sizes_note))
    print("%-8s %-9s %9s  %-18s %9s %6s %6s %9s %7s" % (
        "files", "scenario", "renvo s", "reference", "ref s", "ratio", "goal", "peak MiB", "B/file"))
    for p in points:
        for label, mine, refs, mem in p.results:
            m = median(mine)
            for ref, values in refs.items():
                r = median(values)
                goal = GOALS.get((label, ref))
                print("%-8d %-9s %9.3f  %-18s %9.3f %6.2f %6s %9.1f %7.0f" % (
                    p.files, label, m, ref, r, m / r, "<=%.1f" % goal if goal else "-", mem / 1024,
                    (mem * 1024 - FIXED_RSS) / p.files))
    for p in points:
        if p.light:
            print("(the %d-file rows are a light point: %d first runs, %d timed)" % (p.files, p.first_runs, p.repeat))
    print()
    print("memory: (peak resident - 20 MiB) / files, goal <= %d B/file" % GOAL_BYTES_PER_FILE)
    for p in points:
        worst = max(p.results, key=lambda r: r[3])
        print("  %8d files: %4.0f B/file at most (%s, %.1f MiB)" % (
            p.files, (worst[3] * 1024 - FIXED_RSS) / p.files, worst[0], worst[3] / 1024))
    shown = [p for p in points if p.syscalls]
    if shown:
        print()
        print("system calls per file walked (standard run, nothing changed; strace -c -f, calls / files in the source):")
        for p in shown:
            s, n = p.syscalls, len(p.names)
            print("  %8d files: renvo-run %.2f (%d calls)   rsync -a --delete %.2f (%d calls)" % (
                p.files, s["renvo"] / n, s["renvo"], s["rsync"] / n, s["rsync"]))
            print("    renvo-run's most: " + ", ".join("%s %d" % c for c in s["renvo_top"]))
    print()
    pairs = []
    if base is not None:
        pairs = [(BASE_FILES, base, p) for p in points if p.files != BASE_FILES]
        print("growth against 100,000 files: " + base_note)
    elif len(points) >= 2:
        pairs = [(points[0].files, points[0].medians(), p) for p in points[1:]]
    for files, before, p in pairs:
        factor = p.files / files
        now = p.medians()
        for label, m in now.items():
            if label in before:
                g = m["renvo"] / before[label]["renvo"]
                goal = " (goal <= %.2fx)" % (GROWTH_SLACK * factor) if label in GROWTH_LABELS else ""
                print("growth %-9s %d -> %d files: %.2fx%s" % (label, files, p.files, g, goal))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "out"))
    ap.add_argument("--quick", action="store_true", help="20,000 and 40,000 files: a check of the script")
    ap.add_argument("--scale", type=int, metavar="N", help="the N-file point, with growth against 100,000")
    ap.add_argument("--time-base", action="store_true", help="with --scale: time a light 100,000-file point")
    ap.add_argument("--repeat", type=int, help="timed runs per scenario")
    ap.add_argument("--first-runs", type=int, help="first runs of each tool at the first size")
    ap.add_argument("--batch", type=int, help="first-run pairs between removals (default: what the budget holds)")
    ap.add_argument("--copy-budget", type=float, default=20, help="GiB of copies held at most")
    ap.add_argument("--no-table", action="store_true")
    ap.add_argument("--table", action="store_true", help="with --scale: table mode even if it needs its own copy")
    ap.add_argument("--keep", action="store_true", help="keep the mirrors made by this run")
    args = ap.parse_args()
    args.bin = os.path.abspath(args.bin)
    b = Bench(args)
    points, base, base_note = [], None, ""
    if args.scale:
        repeat = args.repeat or 3
        target = Point(b, args.scale, 0, repeat)
        if args.scale != BASE_FILES:
            base, base_note = (None, "") if args.time_base else b.saved_base()
            if base is None:
                why = base_note or "asked for"
                points.append(Point(b, BASE_FILES, 2, 3, light=True))
                base_note = "100,000-file medians timed in this run (light point: 2 first runs, 3 timed; %s)" % why
        points.append(target)
        sizes_note = "--scale %d" % args.scale
    else:
        sizes = (20000, 40000) if args.quick else (100000, 200000)
        repeat = args.repeat or 5
        first = args.first_runs or (6 if args.quick else 20)
        if args.quick and not args.batch:
            args.batch = 3  # two batches, so the removal between them is checked too
        points = [Point(b, sizes[0], first, repeat), Point(b, sizes[1], 3, repeat)]
        sizes_note = "%d and %d files" % sizes
    os.makedirs(args.out, exist_ok=True)
    log("free disk: %.1f GiB; copies held at most: %.1f GiB" % (shutil.disk_usage(args.out).free / 2**30, args.copy_budget))
    for p in points:
        p.prepare()
    target = points[-1]
    if args.scale:
        # Two first runs if the budget holds their four copies, else one (and a copy for table mode).
        target.first_runs = args.first_runs or (2 if 4 * target.copy_bytes <= b.budget else 1)
        if target.first_runs < 2 and target.table_on and not args.table:
            # A third copy to make and remove: minutes at a million files.
            target.table_on = False
            log("table scenario skipped: it would need a copy of its own (--table runs it)")
    for p in points:
        p.run()
        if not p.light:
            p.save()
    if not args.scale:
        base_note = ""
    elif base is None and points[0].light:
        base = points[0].medians()
    print_report(points, base, base_note, sizes_note)
    total = time.monotonic() - T0
    print("time: %.0f s in all; " % total + ", ".join("%s %.0f s" % kv for kv in SPENT.items()) +
          ", the rest %.0f s" % (total - sum(SPENT.values())))


if __name__ == "__main__":
    main()
