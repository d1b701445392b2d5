#!/usr/bin/env python3
"""Times renvo-run against rsync and cp -a on the same generated trees, in one run.

Scenarios, for each tree size:
  first     first run into an empty top folder        vs rsync -a, cp -a (each into a new folder)
  nochange  standard run, nothing changed             vs rsync -a --delete
  touched   standard run after 1% of files touched     vs rsync -a --delete
  complete  complete run (LimitHistory 3) after 1%    vs rsync -a --delete
  table     table-mode standard run, nothing changed  vs the sync-mode standard run
Runs of the compared tools are taken in turns; medians are printed with the ratio to the
reference, and the peak resident memory of renvo-run.
"""
import argparse
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import time

BIG_FILES = 5
BIG_SIZE = 50 * 1024 * 1024


def short_string(text):
    b = text.encode()[:255]
    return bytes([len(b)]) + b + bytes(255 - len(b))


def list_record(address, option, dest):
    rec = (bytes([1, 0]) + short_string(address) + bytes([1]) + short_string("*.*") + bytes([option]) +
           short_string(dest) + bytes(4) + bytes([1]) + bytes(3))
    assert len(rec) == 780
    return rec


def generate_tree(root, files, folders, seed, big_files=BIG_FILES):
    """A repeatable tree: `folders` folders (depth up to 4), `files` files of 1-8 KiB, `big_files` of 50 MiB.

    A finished tree is kept (its marker file) and reused; give trees of different shapes roots of
    their own."""
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
    for d, _ in dirs:
        os.makedirs(os.path.join(root, d), exist_ok=True)
    pool = rng.randbytes(8 * 1024 * 64)
    for i in range(files):
        d = dirs[rng.randrange(len(dirs))][0]
        size = rng.randint(1024, 8192)
        off = rng.randrange(len(pool) - size)
        with open(os.path.join(root, d, "file%06d.dat" % i), "wb") as f:
            f.write(pool[off:off + size])
    chunk = rng.randbytes(1024 * 1024)
    for i in range(big_files):
        with open(os.path.join(root, "big%02d.bin" % i), "wb") as f:
            for _ in range(BIG_SIZE // len(chunk)):
                f.write(chunk)
    # Stamps in the past, so a touch always changes them.
    past = time.time() - 86400 * 30
    for dirpath, _, names in os.walk(root):
        for n in names:
            os.utime(os.path.join(dirpath, n), (past, past))
    open(marker, "w").close()


def all_files(root):
    out = []
    for dirpath, _, names in os.walk(root):
        out.extend(os.path.join(dirpath, n) for n in names if n != ".complete")
    out.sort()
    return out


def touch_some(files, fraction, seed):
    rng = random.Random(seed)
    now = time.time()
    for p in rng.sample(files, max(1, int(len(files) * fraction))):
        os.utime(p, (now, now))


def timed(cmd, env=None):
    """Wall time and peak resident memory (KiB) of one command."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if proc.returncode not in (0,):
        sys.exit("command failed (%d): %s\n%s" % (proc.returncode, " ".join(cmd), err))
    return elapsed, usage.ru_maxrss


class Renvo:
    """One program folder with its own hive, list and top folder."""

    def __init__(self, binary, base, source, option, top=None):
        self.binary = binary
        self.home = os.path.join(base, "home")
        self.top = top or os.path.join(base, "top")
        self.cfg = os.path.join(base, "cfg")
        os.makedirs(self.home, exist_ok=True)
        os.makedirs(os.path.join(self.cfg, "Tovan"), exist_ok=True)
        with open(os.path.join(self.home, "_rvffl2"), "wb") as f:
            f.write(list_record(source, option, "src"))

    def run(self, complete=False):
        # Fresh counters every time, so the run kind is the one asked for.
        with open(os.path.join(self.cfg, "Tovan", "user.reg"), "w") as f:
            f.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]\n")
            f.write('"MirTopFolder"="%s"\n"Mirroring"=dword:00000000\n' % self.top)
            f.write('"TaskPriority"=dword:00000002\n"LimitHistory"=dword:00000003\n')
            f.write('"EveryTimes"=dword:00000063\n"DoneStandard"=dword:00000000\n')
            f.write('"LogFile"="%s/logfile.txt"\n' % self.home)
        env = dict(os.environ, RENVO_HOME=self.home, XDG_CONFIG_HOME=self.cfg)
        cmd = [self.binary] + (["--complete"] if complete else [])
        return timed(cmd, env)


def median(values):
    return statistics.median(values) if values else float("nan")


def bench_size(args, files, results):
    folders = files // 50
    base = os.path.join(args.out, "n%d" % files)
    os.makedirs(args.out, exist_ok=True)
    src = os.path.join(base, "src")
    print("generating %d files in %d folders ..." % (files, folders), flush=True)
    generate_tree(src, files, folders, seed=files)
    names = all_files(src)
    run_id = time.strftime("%H%M%S")
    work = os.path.join(base, "run-" + run_id)
    os.makedirs(work)
    rss = []
    t = {k: [] for k in ("cp", "rsync", "renvo")}

    # First copy: each tool into a folder of its own that never existed before.
    for rep in range(args.repeat_copy):
        order = [("cp", rep), ("rsync", rep), ("renvo", rep)]
        order = order[rep % 3:] + order[:rep % 3]
        for tool, r in order:
            if tool == "cp":
                dst = os.path.join(work, "cp%d" % r, "Latest")
                os.makedirs(dst)
                t["cp"].append(timed(["cp", "-a", src, os.path.join(dst, "src")])[0])
            elif tool == "rsync":
                t["rsync"].append(timed(["rsync", "-a", src + "/", os.path.join(work, "rs%d" % r) + "/"])[0])
            else:
                rv = Renvo(args.bin, os.path.join(work, "rv%d" % r), src, 1)
                e, m = rv.run()
                t["renvo"].append(e)
                rss.append(m)
    results.append((files, "first", t["renvo"], {"rsync -a": t["rsync"], "cp -a": t["cp"]}, max(rss)))

    rv = Renvo(args.bin, os.path.join(work, "rv0"), src, 1)
    rs = os.path.join(work, "rs0") + "/"

    def compare(label, before=None, complete=False, repeat=args.repeat):
        a, b, mem = [], [], []
        for rep in range(repeat):
            if before:
                before(rep)
            for which in ((0, 1) if rep % 2 == 0 else (1, 0)):
                if which == 0:
                    e, m = rv.run(complete)
                    a.append(e)
                    mem.append(m)
                else:
                    b.append(timed(["rsync", "-a", "--delete", src + "/", rs])[0])
        results.append((files, label, a, {"rsync -a --delete": b}, max(mem)))

    compare("nochange")
    compare("touched", before=lambda rep: touch_some(names, 0.01, 1000 + rep))
    compare("complete", before=lambda rep: touch_some(names, 0.01, 2000 + rep), complete=True)

    # Table mode against sync mode on the same mirror (the cp copy holds equal stamps).
    table = Renvo(args.bin, os.path.join(work, "tb"), src, 3, top=os.path.join(work, "cp0"))
    table.run(complete=True)  # records the table
    tb, sy, mem = [], [], []
    for rep in range(args.repeat):
        for which in ((0, 1) if rep % 2 == 0 else (1, 0)):
            if which == 0:
                e, m = table.run()
                tb.append(e)
                mem.append(m)
            else:
                sy.append(rv.run()[0])
    results.append((files, "table", tb, {"sync-mode run": sy}, max(mem)))

    return work


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "out"))
    ap.add_argument("--quick", action="store_true")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--repeat-copy", type=int, default=3)
    ap.add_argument("--keep", action="store_true", help="keep the mirrors made by this run")
    args = ap.parse_args()
    args.bin = os.path.abspath(args.bin)
    sizes = (20000, 40000) if args.quick else (100000, 200000)
    # Inodes freed in the last minute are not reused here: creating files right after a large
    # deletion is many times slower. So the mirrors are removed only after all timings, and a
    # run that follows a removal too closely waits.
    stamp = os.path.join(args.out, ".removed")
    if os.path.exists(stamp):
        wait = 65 - (time.time() - os.path.getmtime(stamp))
        if wait > 0:
            print("waiting %.0f s after the last removal ..." % wait, flush=True)
            time.sleep(wait)
    results = []
    works = [bench_size(args, n, results) for n in sizes]
    if not args.keep:
        for work in works:
            shutil.rmtree(work, ignore_errors=True)
        open(stamp, "w").close()

    print()
    print("machine: %s, %d cores" % (os.uname().release, os.cpu_count()))
    print("%-8s %-9s %10s  %-20s %10s %7s %9s" % ("files", "scenario", "renvo s", "reference", "ref s", "ratio", "peak MiB"))
    base = {}
    for files, label, mine, refs, mem in results:
        m = median(mine)
        base.setdefault(label, {})[files] = m
        for ref, values in refs.items():
            r = median(values)
            print("%-8d %-9s %10.3f  %-20s %10.3f %7.2f %9.1f" % (files, label, m, ref, r, m / r, mem / 1024))
    if len(sizes) == 2:
        print()
        for label, per in base.items():
            if len(per) == 2:
                print("growth %-9s %d -> %d files: %.2fx" % (label, sizes[0], sizes[1], per[sizes[1]] / per[sizes[0]]))


if __name__ == "__main__":
    main()
