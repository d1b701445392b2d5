#!/usr/bin/env python3
"""What the durability step costs: the same runs timed with it and without it, in turns, in one
run of this script. The step is one syncfs of the top folder's file system per run (before the
history rotation is committed, or at the end of a standard run); RENVO_BENCH_NO_SYNC=1 makes
renvo-run skip it, for this measurement only. Nothing passes or fails.

Scenarios: first runs into a top folder that never existed (memory warmed before them), and
steady-state complete runs (LimitHistory 3, the history already full) after 1% of the files
were touched. The goal is a cost of at most 5% of either.

usage: python3 bench/durability.py --bin build-bench/bin/renvo-run [--files N] [--repeat K]
"""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402  (the tree generator, the program-folder setup, the removals)

GOAL = 0.05


def timed_run(renvo, complete, durable):
    # Untimed: a run with the step must not write out what the run before it left unwritten.
    os.sync()
    cmd, env = renvo.command(complete)
    if not durable:
        env["RENVO_BENCH_NO_SYNC"] = "1"
    return bench.timed(cmd, env)[0]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--files", type=int, default=100000)
    ap.add_argument("--repeat", type=int, default=5, help="timed runs of each kind, with and without the step")
    ap.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "out"))
    args = ap.parse_args()
    binary = os.path.abspath(args.bin)
    removals = bench.Removals(args.out)
    base = os.path.join(args.out, "durability-%d" % args.files)
    src = os.path.join(base, "src")  # kept for the next run, as bench.py keeps its trees
    bench.generate_tree(src, args.files, args.files // 50, seed=args.files + 7, big_files=1)
    names, _ = bench.walk_tree(src)
    work = os.path.join(base, "run-" + time.strftime("%H%M%S"))
    removals.wait()
    bench.warm_memory()
    times = {("first", True): [], ("first", False): [], ("complete", True): [], ("complete", False): []}
    for rep in range(args.repeat):
        for durable in ((True, False) if rep % 2 == 0 else (False, True)):
            renvo = bench.Renvo(binary, os.path.join(work, "rv%d-%d" % (rep, durable)), src, 1)
            times[("first", durable)].append(timed_run(renvo, False, durable))
        bench.log("first run %d/%d: with the step %.2f s, without %.2f s" % (
            rep + 1, args.repeat, times[("first", True)][-1], times[("first", False)][-1]))
    # Complete runs on one mirror: the history filled first, untimed.
    renvo = bench.Renvo(binary, os.path.join(work, "rv0-True"), src, 1)
    for k in range(bench.LIMIT_HISTORY + 1):
        bench.touch_some(names, 0.01, 5000 + k)
        timed_run(renvo, True, True)
    for rep in range(args.repeat):
        for durable in ((True, False) if rep % 2 == 0 else (False, True)):
            bench.touch_some(names, 0.01, 6000 + 2 * rep + durable)
            times[("complete", durable)].append(timed_run(renvo, True, durable))
    load = " ".join(open("/proc/loadavg").read().split()[:3])
    print()
    print("%d files, %.2f GiB; %s, %s, %d cores, load %s" % (
        len(names), bench.tree_bytes(src) / 2**30, time.strftime("%Y-%m-%d"), os.uname().release,
        os.cpu_count(), load))
    print("%-9s %12s %12s %8s %6s" % ("run", "with step", "without", "cost", "goal"))
    for kind in ("first", "complete"):
        on, off = bench.median(times[(kind, True)]), bench.median(times[(kind, False)])
        print("%-9s %10.3f s %10.3f s %7.1f%% %5.0f%%   (medians of %d; with: %s; without: %s)" % (
            kind, on, off, 100 * (on - off) / on, 100 * GOAL, args.repeat,
            " ".join("%.2f" % t for t in times[(kind, True)]), " ".join("%.2f" % t for t in times[(kind, False)])))
    removals.remove([work], 2 * args.repeat * (len(names) + args.files // 50))


if __name__ == "__main__":
    main()
