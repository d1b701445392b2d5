#!/bin/sh
# The resident program at rest: no run, no window, the icon in a tray. Builds Renvo (Release),
# starts it on a virtual display with a tray host and a home of its own, waits for the icon,
# lets it settle, then measures its memory and its wake-ups (context switches) over a minute,
# for the whole process and per thread.
#   sh bench/idle.sh [--seconds N] [--tray xembed|sni] [--settings default|auto|both]
#                    [--used] [--floor] [--bin DIR] [--settle S] [--strace] [--maps N]
# default: the settings of a new user (manual mode); auto: automatic runs on, the next one
# due in almost a day. --used first rests the pointer on the icon until its tooltip shows and
# opens and closes the tray menu (XEmbed), as a user would have done. --floor measures a
# minimal Qt program with a tray icon in the same way, for comparison. --bin measures another
# build's Renvo (no build then); --settle S waits S seconds after the icon showed (default 5;
# Qt's D-Bus call at start times out once, 30 s after it, when no StatusNotifier watcher
# exists); --strace also records the system calls of the measured span
# (they slow the program a little); --maps N lists the N mappings that hold the most
# resident memory.
set -e
cd "$(dirname "$0")/.."
bin=""
floor=0
for a in "$@"; do
  case "$prev" in --bin) bin="$a" ;; esac
  case "$a" in --floor) floor=1 ;; esac
  prev="$a"
done
sh scripts/install-deps.sh --bench --desktop
if [ "$floor" = 1 ]; then
  # The same libraries, icon and tooltip, nothing of Renvo's own: what any such program costs.
  mkdir -p build-bench/floor
  cat > build-bench/floor/floor.cpp <<CPP
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QMenu menu;
    for (const char* text : {"リストの編集(&L)...", "環境設定(&V)...", "終了(&Q)"})
        menu.addAction(QString::fromUtf8(text));
    QSystemTrayIcon tray(QIcon(QStringLiteral("$(pwd)/src/shell/icons/app.svg")));
    tray.setToolTip(QString::fromUtf8("Renvo - 手動実行モードです"));
    tray.setContextMenu(&menu);
    tray.show();
    return app.exec();
}
CPP
  # Named Renvo: the tray test helpers find the icon's window by that class.
  g++ -std=c++17 -O2 -fPIC build-bench/floor/floor.cpp -o build-bench/floor/Renvo \
    $(pkg-config --cflags --libs Qt6Widgets)
elif [ -z "$bin" ]; then
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRENVO_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j2 --target Renvo
  set -- --bin build-bench/bin "$@"
fi
exec python3 - "$@" <<'EOF'
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.getcwd(), "tests", "desktop"))
from desktop import Desktop, Failure, wait_for  # noqa: E402
from traytest import Home, host_registered, sni_item, start_tray, tray_icon, visible_popup  # noqa: E402

def time_value(days):
    return "hex:" + ",".join("%02x" % b for b in struct.pack("<d", days))


def prepare(home, variant):
    """The hive of the variant; the list file of Home holds one folder item."""
    with open(home.hive) as f:
        text = f.read()
    if variant == "auto":
        text = text.replace('"Mirroring"=dword:00000000', '"Mirroring"=dword:00000001')
        # 23 h 59 min: no run falls due while the program is measured.
        text += '"Interval"=%s\n"MirOnStart"=dword:00000000\n' % time_value(1439 / 1440)
    with open(home.hive, "w") as f:
        f.write(text)
    env = home.env()
    for name, sub in (("HOME", "home"), ("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache")):
        path = os.path.join(home.base, sub)
        os.makedirs(path, exist_ok=True)
        env[name] = path
    env.pop("ASAN_OPTIONS", None)
    return env


def status(path):
    fields = {}
    try:
        with open(path) as f:
            for line in f:
                name, _, value = line.partition(":")
                fields[name] = value.strip()
    except OSError:
        pass
    return fields


def kib(fields, name):
    return int(fields.get(name, "0 kB").split()[0])


def cpu_ticks(path):
    try:
        with open(path) as f:
            parts = f.read().rsplit(")", 1)[1].split()
        return int(parts[11]) + int(parts[12])  # utime + stime
    except (OSError, IndexError, ValueError):
        return 0


def threads(pid):
    """tid -> (name, voluntary, involuntary, cpu ticks)."""
    out = {}
    base = "/proc/%d/task" % pid
    for tid in os.listdir(base):
        s = status(os.path.join(base, tid, "status"))
        if not s:
            continue
        out[int(tid)] = (s.get("Name", "?"), int(s.get("voluntary_ctxt_switches", 0)),
                         int(s.get("nonvoluntary_ctxt_switches", 0)), cpu_ticks(os.path.join(base, tid, "stat")))
    return out


def biggest_maps(pid, count):
    """The mappings (by file, or [anon]) holding the most resident memory, in KiB."""
    totals = {}
    name = None
    with open("/proc/%d/smaps" % pid) as f:
        for line in f:
            m = re.match(r"^[0-9a-f]+-[0-9a-f]+ \S+ \S+ \S+ \S+\s*(.*)$", line)
            if m:
                name = m.group(1) or "[anon]"
            elif line.startswith("Rss:"):
                totals[name] = totals.get(name, 0) + int(line.split()[1])
    return sorted(totals.items(), key=lambda kv: -kv[1])[:count]


def use(desk, icon):
    """The tooltip by resting the pointer on the icon, then the menu opened and closed."""
    left, top, width, height, _ = desk.geometry(icon)
    desk.tool("xdotool", "mousemove", "--sync", str(left + width // 2), str(top + height // 2))
    time.sleep(3)
    desk.tool("xdotool", "click", "3")  # where the pointer rests: a move there would wait for nothing
    wait_for("the tray menu", lambda: visible_popup(desk), 10)
    time.sleep(1)
    desk.key("Escape")
    wait_for("the menu to close", lambda: not visible_popup(desk), 10)
    desk.tool("xdotool", "mousemove", "--sync", "10", "400")


def measure(args, renvo, variant):
    home = Home(1)
    env = prepare(home, variant)
    desk = Desktop()
    try:
        if args.tray == "sni":
            desk.private_session_bus()
            desk.start(["status-notifier-watcher"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            desk.start(["gtk-sni-tray-standalone"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_for("the tray host", lambda: host_registered(desk), 30)
            proc = desk.start([renvo], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_for("the status notifier item", lambda: sni_item(desk), 30)
        else:
            panel = start_tray(desk)
            proc = desk.start([renvo], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            icon = tray_icon(desk, panel)
            if args.used:
                use(desk, icon)
        time.sleep(args.settle)
        if proc.poll() is not None:
            raise Failure("Renvo ended before it was measured")
        pid = proc.pid
        before = threads(pid)
        trace = None
        if args.strace:
            trace = os.path.join(home.base, "strace.txt")
            tracer = subprocess.Popen(["strace", "-f", "-tt", "-qq", "-o", trace, "-p", str(pid)],
                                      stderr=subprocess.DEVNULL)
            time.sleep(0.5)
        perf_out = os.path.join(home.base, "perf.txt")
        start = time.monotonic()
        subprocess.run(["perf", "stat", "-x,", "-o", perf_out, "-e", "context-switches,cpu-migrations,task-clock",
                        "-p", str(pid), "--", "sleep", str(args.seconds)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        span = time.monotonic() - start
        after = threads(pid)
        if args.strace:
            tracer.terminate()
            tracer.wait()
        st = status("/proc/%d/status" % pid)
        perf = {}
        with open(perf_out) as f:
            for line in f:
                parts = line.strip().split(",")
                if len(parts) > 2 and parts[0] and not line.startswith("#"):
                    perf[parts[2]] = parts[0]
        per_min = 60.0 / span
        print("== %s, %s settings, %s tray%s, %.0f s at rest (after %d s to settle)" % (
            "the minimal tray program" if args.floor else renvo, variant, args.tray, ", tooltip and menu used" if args.used else "",
            span, args.settle))
        print("VmRSS %.1f MiB  VmHWM %.1f MiB  RssAnon %.1f MiB  RssFile %.1f MiB  RssShmem %.1f MiB" % (
            kib(st, "VmRSS") / 1024, kib(st, "VmHWM") / 1024, kib(st, "RssAnon") / 1024,
            kib(st, "RssFile") / 1024, kib(st, "RssShmem") / 1024))
        def counted(name):
            value = perf.get(name, "0")
            return 0.0 if value.startswith("<") else float(value)  # "<not counted>": it never ran
        print("perf: context switches %d (%.1f a minute), cpu migrations %d, task clock %.2f ms" % (
            counted("context-switches"), counted("context-switches") * per_min, counted("cpu-migrations"),
            counted("task-clock")))
        hz = os.sysconf("SC_CLK_TCK")
        print("%-8s %-16s %10s %12s %8s" % ("thread", "name", "voluntary", "involuntary", "cpu ms"))
        total = 0
        for tid in sorted(after):
            name, vol, invol, ticks = after[tid]
            b = before.get(tid, (name, 0, 0, 0))
            dv, di, dt = vol - b[1], invol - b[2], (ticks - b[3]) * 1000 // hz
            total += dv + di
            print("%-8d %-16s %10d %12d %8d" % (tid, name, dv, di, dt))
        print("all threads: %d switches (%.1f a minute)" % (total, total * per_min))
        if args.maps:
            print("resident memory by mapping (KiB):")
            for name, size in biggest_maps(pid, args.maps):
                print("  %7d  %s" % (size, name))
        if trace:
            kept = os.path.join(tempfile.gettempdir(), "renvo-idle-%s-%s.strace" % (variant, args.tray))
            shutil.copy(trace, kept)
            print("system calls: %s" % kept)
        proc.terminate()
        proc.wait(10)
    finally:
        desk.close()
        shutil.rmtree(home.base, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default="build-bench/bin")
    ap.add_argument("--seconds", type=int, default=60)
    ap.add_argument("--settle", type=int, default=5)
    ap.add_argument("--tray", choices=("xembed", "sni"), default="xembed")
    ap.add_argument("--settings", choices=("default", "auto", "both"), default="both")
    ap.add_argument("--strace", action="store_true")
    ap.add_argument("--used", action="store_true")
    ap.add_argument("--floor", action="store_true")
    ap.add_argument("--maps", type=int, default=0)
    args = ap.parse_args()
    renvo = os.path.abspath(os.path.join("build-bench/floor" if args.floor else args.bin, "Renvo"))
    variants = ("default", "auto") if args.settings == "both" and not args.floor else (args.settings,)
    try:
        for variant in variants:
            measure(args, renvo, variant)
    except Failure as e:
        print("FAIL:", e)
        return 1
    return 0


sys.exit(main())
EOF
