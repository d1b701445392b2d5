#!/usr/bin/env python3
"""What the durability step costs: the share of a run's wall time spent making its copies
durable (one syncfs of the top folder's file system per run, timed by strace -T with the other
system calls left untraced), for a first run into an empty top folder and for complete runs
after 1% of the files were touched. Nothing passes or fails.

usage: python3 bench/durability.py --bin build/bin/renvo-run [--files N] [--repeat K]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402  (the tree generator and the program-folder setup)


def traced_run(renvo, complete):
    """Wall time of one run and the seconds its syncfs calls took."""
    cmd, env = renvo.command(complete)
    with tempfile.NamedTemporaryFile("r") as trace:
        start = time.perf_counter()
        proc = subprocess.run(["strace", "-f", "--seccomp-bpf", "-T", "-e", "trace=syncfs", "-o", trace.name] + cmd,
                              env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        wall = time.perf_counter() - start
        if proc.returncode != 0:
            sys.exit("run failed (%d): %s" % (proc.returncode, proc.stderr.decode(errors="replace")))
        synced = [float(t) for t in re.findall(r"syncfs\(.*<([0-9.]+)>", trace.read())]
    return wall, sum(synced), len(synced)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--files", type=int, default=20000)
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "out"))
    args = ap.parse_args()
    base = os.path.join(args.out, "durability-%d" % args.files)
    shutil.rmtree(base, ignore_errors=True)
    src = os.path.join(base, "src")
    bench.generate_tree(src, args.files, args.files // 50, seed=args.files, big_files=1)
    names, _ = bench.walk_tree(src)
    rows = []
    for rep in range(args.repeat):
        renvo = bench.Renvo(os.path.abspath(args.bin), os.path.join(base, "rv%d" % rep), src, 1)
        rows.append(("first",) + traced_run(renvo, False))
    renvo = bench.Renvo(os.path.abspath(args.bin), os.path.join(base, "rv0"), src, 1)
    for rep in range(bench.LIMIT_HISTORY + 1 + args.repeat):
        bench.touch_some(names, 0.01, 4000 + rep)
        row = ("complete",) + traced_run(renvo, True)
        if rep > bench.LIMIT_HISTORY:  # the history full: the steady state
            rows.append(row)
    print("%d files, %.2f GiB; %s" % (len(names), bench.tree_bytes(src) / 2**30, time.strftime("%Y-%m-%d")))
    for kind in ("first", "complete"):
        mine = [r for r in rows if r[0] == kind]
        wall = bench.median([r[1] for r in mine])
        synced = bench.median([r[2] for r in mine])
        print("%-8s median wall %.3f s, syncfs %.3f s (%.1f%%), %d call(s) per run" % (
            kind, wall, synced, 100 * synced / wall, mine[0][3]))
    shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    main()
