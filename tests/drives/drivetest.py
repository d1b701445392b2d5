#!/usr/bin/env python3
"""Drives that come and go: renvo-run with sources and top folders on real mounts.

Source drives are loop-mounted ext4 images (they keep their files when unmounted and mounted
again), the full top folder is a small tmpfs. Each case runs renvo-run with its own program
folder, hive and log, unmounts or removes what a user's drive would, and checks that no copy
in Latest and no generation is lost or made for nothing, that nothing is written where the
drive should be, and that the exit status tells the truth (0 all done, 1 done but incomplete,
3 no run). Needs root for mount; without it, or where mounting fails, the cases are skipped
with a line that says so.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from collections import namedtuple

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from renvofiles import LIST_FILE, hive_path, list_record, read_bytes, write_hive  # noqa: E402

SYNC, TABLE = 1, 3
Result = namedtuple("Result", "rc out log")


def tree(root):
    """{relative path: content} of every file below root."""
    out = {}
    for d, _, files in os.walk(root):
        for f in files:
            out[os.path.relpath(os.path.join(d, f), root)] = read_bytes(os.path.join(d, f))
    return out


class Mounts:
    """Mounts made by the test, undone whatever happens."""

    def __init__(self):
        self.images = {}  # mount point: image file
        self.active = []

    @staticmethod
    def call(*cmd):
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def tmpfs(self, where, size):
        os.makedirs(where, exist_ok=True)
        self.call("mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", where)
        self.active.append(where)

    def image(self, where, size="16M"):
        img = where + ".img"
        self.call("truncate", "-s", size, img)
        self.call("mkfs.ext4", "-q", "-F", img)
        self.images[where] = img
        os.makedirs(where, exist_ok=True)
        self.mount(where)

    def mount(self, where):
        self.call("mount", "-o", "loop", self.images[where], where)
        self.active.append(where)

    def umount(self, where):
        self.call("umount", where)
        self.active.remove(where)

    def cleanup(self):
        for where in reversed(self.active):
            if subprocess.run(["umount", where], stderr=subprocess.DEVNULL).returncode != 0:
                subprocess.run(["umount", "-l", where], stderr=subprocess.DEVNULL)
        self.active = []


class Bed:
    """A program folder, hive, log, top folder and source folders in one temporary folder."""

    def __init__(self, binary, base, mounts):
        self.binary, self.base, self.mounts = binary, base, mounts
        self.home, self.cfg = os.path.join(base, "home"), os.path.join(base, "cfg")
        self.log_path = os.path.join(base, "logs", "logfile.txt")
        self.list_path = os.path.join(self.home, LIST_FILE)
        self.local = os.path.join(base, "local")
        for d in (self.home, os.path.dirname(self.log_path)):
            os.makedirs(d)
        self.clock = int(time.time()) // 2 * 2 - 86400
        self.hive(os.path.join(base, "top"))

    @property
    def latest(self):
        return os.path.join(self.top, "Latest")

    def hive(self, top, del_on_not_exists=1):
        self.top = top
        write_hive(hive_path(self.cfg), [
            ("MirTopFolder", top), ("Mirroring", 0), ("TaskPriority", 2), ("LimitHistory", 3), ("EveryTimes", 100),
            ("DelOnNotExists", del_on_not_exists), ("LogFile", self.log_path), ("KeepLogFile", 1), ("LogAppend", 0)])

    def items(self, *items):
        """Folder items (address, option, destination), all run in every run."""
        data = b"".join(list_record(a, dest, option=option) for a, option, dest in items)
        with open(self.list_path, "wb") as f:
            f.write(data)
        return data

    def write(self, path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        self.clock += 2  # stamps two seconds apart: every version differs from the last copy
        os.utime(path, (self.clock, self.clock))

    def run(self, complete=False):
        if os.path.exists(self.log_path):
            os.unlink(self.log_path)
        p = subprocess.run([self.binary] + (["--complete"] if complete else []), stdin=subprocess.DEVNULL,
                           capture_output=True, env=dict(os.environ, RENVO_HOME=self.home, XDG_CONFIG_HOME=self.cfg))
        log = (read_bytes(self.log_path) or b"").decode(errors="replace")
        return Result(p.returncode, (p.stdout + p.stderr).decode(errors="replace"), log)

    def generations(self):
        names = os.listdir(self.top) if os.path.isdir(self.top) else []
        return {n: tree(os.path.join(self.top, n)) for n in names if re.fullmatch(r"History\d+", n)}


class Case:
    def __init__(self, name):
        self.name = name
        self.failures = 0

    def check(self, ok, what):
        if not ok:
            self.failures += 1
            print("FAIL [%s] %s" % (self.name, what), flush=True)
        return ok

    def run(self, bed, rc, what, complete=False, **unchanged):
        """One run with its exit status; then each named tree (Latest, generations) as given."""
        r = bed.run(complete)
        self.check(r.rc == rc, "%s: exit %d, %d expected\n%s%s" % (what, r.rc, rc, r.out, r.log))
        for name, before in unchanged.items():
            now = bed.generations() if name == "generations" else tree(bed.latest)
            gone = sorted(set(before) - set(now))
            changed = sorted(k for k in before if k in now and now[k] != before[k])
            added = sorted(set(now) - set(before))
            self.check(not (gone or changed or added), "%s: %s lost %s, changed %s, gained %s" %
                       (what, name, gone[:5], changed[:5], added[:5]))
        return r

    def empty(self, where, what):
        there = sorted(os.listdir(where)) if os.path.isdir(where) else []
        self.check(not there, "%s: written where the drive belongs: %s" % (what, there[:5]))

    def names(self, r, addresses, what):
        for a in addresses:  # the address itself, not a path below it
            self.check(re.search(re.escape(a) + r"(?![/A-Za-z0-9._-])", r.log),
                       "%s: the log does not name %s" % (what, a))


def history_by_complete_runs(bed, case, changing):
    """History1..3 full: three complete runs, each after a new version of one file."""
    for v in range(3):
        case.run(bed, 0, "complete run %d" % (v + 1), complete=True)
        bed.write(changing, "version %d" % (v + 2))
    case.run(bed, 0, "complete run 4", complete=True)
    gens = bed.generations()
    case.check(sorted(gens) == ["History1", "History2", "History3"], "generations made: %s" % sorted(gens))
    return gens


# --- the cases ---------------------------------------------------------------------------

def source_unmounted(bed, case):
    """A sync item on a drive's mount point and one on a folder of the drive: while the drive
    is away every copy stays, the run says so and exits 1; no generation goes for it."""
    drive = os.path.join(bed.base, "drive")
    bed.mounts.image(drive)
    bed.write(os.path.join(drive, "a.txt"), "a")
    bed.write(os.path.join(drive, "photos", "p.jpg"), "p")
    bed.write(os.path.join(bed.local, "x.txt"), "x")
    addresses = [drive, os.path.join(drive, "photos")]
    listed = bed.items((drive, SYNC, "drive"), (addresses[1], SYNC, "photos"), (bed.local, SYNC, "local"))
    case.run(bed, 0, "standard run, drive there")
    latest = tree(bed.latest)
    bed.mounts.umount(drive)
    r = case.run(bed, 1, "standard run, drive unmounted", Latest=latest)
    case.names(r, addresses, "standard run, drive unmounted")
    case.check(read_bytes(bed.list_path) == listed, "an item of the unmounted drive was dropped")
    case.empty(drive, "standard run, drive unmounted")
    bed.mounts.mount(drive)
    case.run(bed, 0, "standard run, drive back", Latest=latest)

    gens = history_by_complete_runs(bed, case, os.path.join(drive, "a.txt"))
    latest = tree(bed.latest)
    bed.mounts.umount(drive)
    r = case.run(bed, 1, "complete run, drive unmounted", complete=True, Latest=latest, generations=gens)
    case.names(r, addresses, "complete run, drive unmounted")
    case.empty(drive, "complete run, drive unmounted")
    bed.mounts.mount(drive)
    case.run(bed, 0, "complete run, drive back", complete=True, Latest=latest, generations=gens)


def mount_point_removed(bed, case):
    """A folder deleted where its parent is there is dropped; the items of a drive whose
    mount point was removed stay in the list, with or without DelOnNotExists."""
    drive = os.path.join(bed.base, "drive")
    bed.mounts.image(drive)
    bed.write(os.path.join(drive, "photos", "p.jpg"), "p")
    old = os.path.join(bed.local, "old")
    bed.write(os.path.join(old, "o.txt"), "o")
    bed.write(os.path.join(bed.local, "keep", "k.txt"), "k")
    addresses = [drive, os.path.join(drive, "photos")]
    mine = [(drive, SYNC, "drive"), (addresses[1], SYNC, "photos"), (os.path.join(bed.local, "keep"), SYNC, "keep")]
    bed.items(*mine, (old, SYNC, "old"))
    case.run(bed, 0, "first run")
    shutil.rmtree(old)
    r = bed.run()
    case.check(r.rc in (0, 1), "run after a folder was deleted: exit %d\n%s" % (r.rc, r.out))
    listed = bed.items(*mine)
    case.check(read_bytes(bed.list_path) == listed, "the deleted folder's item was not dropped (or more was)")

    latest = tree(bed.latest)
    bed.mounts.umount(drive)
    os.rmdir(drive)
    for on in (1, 0):
        bed.hive(bed.top, del_on_not_exists=on)
        what = "mount point removed, DelOnNotExists %d" % on
        r = case.run(bed, 1, what, Latest=latest)
        case.check(read_bytes(bed.list_path) == listed, "%s: an item of the drive was dropped" % what)
        case.names(r, addresses, what)
        case.check(not os.path.exists(drive), "%s: the mount point was made again" % what)


def table_unmounted(bed, case):
    """A table item on a drive that is away: its cached listing must not make failed copies
    into history entries, nor a generation of unchanged files that pushes the oldest out."""
    drive = os.path.join(bed.base, "drive")
    bed.mounts.image(drive)
    for name in ("t1.txt", "sub/t2.txt", "sub/t3.txt"):
        bed.write(os.path.join(drive, name), name)
    bed.items((drive, TABLE, "table"))
    gens = history_by_complete_runs(bed, case, os.path.join(drive, "t1.txt"))
    latest = tree(bed.latest)
    bed.mounts.umount(drive)
    for what, complete in (("standard run", False), ("standard run again", False), ("complete run", True),
                           ("standard run after it", False)):
        case.run(bed, 1, what + ", drive unmounted", complete=complete, Latest=latest, generations=gens)
        case.empty(drive, what + ", drive unmounted")
    bed.mounts.mount(drive)
    case.run(bed, 0, "standard run, drive back", Latest=latest, generations=gens)
    case.run(bed, 0, "complete run, drive back", complete=True, Latest=latest, generations=gens)


def backup_unmounted(bed, case):
    """The top folder is a drive: while it is away (empty mount point, or no folder at all)
    nothing is written and the run is refused; back, it goes on. A new top folder is made."""
    top = os.path.join(bed.base, "backup")
    bed.mounts.image(top)
    bed.hive(top)
    bed.write(os.path.join(bed.local, "x.txt"), "x")
    bed.items((bed.local, SYNC, "local"))
    case.run(bed, 0, "run onto the drive")
    latest = tree(bed.latest)
    bed.write(os.path.join(bed.local, "y.txt"), "y")
    bed.mounts.umount(top)
    for what in ("empty mount point", "mount point removed"):
        r = case.run(bed, 3, "run, top folder's drive unmounted, " + what)
        case.check(top in r.out + r.log, "%s: neither output nor log names the top folder\n%s" % (what, r.out))
        if what == "empty mount point":
            case.empty(top, what)
        else:
            case.check(not os.path.exists(top), "%s: the top folder was made again" % what)
        shutil.rmtree(top, ignore_errors=True)
    os.mkdir(top)
    bed.mounts.mount(top)
    case.run(bed, 0, "run, drive back")
    latest["local/y.txt"] = b"y"
    case.check(tree(bed.latest) == latest, "Latest on the drive is not what it was plus the new file")

    bed.hive(os.path.join(bed.base, "new top"))
    case.run(bed, 0, "run into a top folder never used")
    case.check(tree(bed.latest) == latest, "the new top folder's Latest is not the sources")


def disk_full(bed, case):
    """The top folder's disk is full when a complete run copies into the new History1: the run
    says so and exits 1, the generations stay; with room again the next one is made."""
    disk = os.path.join(bed.base, "small")
    bed.mounts.tmpfs(disk, "3m")
    bed.hive(os.path.join(disk, "top"))
    big = os.path.join(bed.local, "big.bin")
    bed.write(big, os.urandom(200 * 1024))
    bed.write(os.path.join(bed.local, "s.txt"), "s")
    bed.items((bed.local, SYNC, "local"))
    case.run(bed, 0, "first run")
    gens = history_by_complete_runs(bed, case, os.path.join(bed.local, "s.txt"))
    new = os.urandom(200 * 1024)
    bed.write(big, new)
    case.run(bed, 0, "standard run copying the new version", generations=gens)
    latest = tree(bed.latest)

    filler = os.path.join(disk, "filler")  # leaves room for small files, not for the new version
    st = os.statvfs(disk)
    with open(filler, "wb") as f:
        f.write(bytes(st.f_bavail * st.f_frsize - 48 * 1024))
    r = case.run(bed, 1, "complete run, disk full", complete=True, Latest=latest, generations=gens)
    case.check(re.search(r"^複製失敗: .*local/big\.bin", r.log, re.M) is not None,
               "complete run, disk full: no failed-copy line for History1's copy of big.bin")
    case.check("履歴増加: 0個のファイルが履歴に追加されました" in r.log,
               "complete run, disk full: the history line does not count 0 files\n" + r.log)

    os.unlink(filler)
    r = case.run(bed, 0, "complete run with room again", complete=True, Latest=latest)
    want = {"History1": {"local/big.bin": new}, "History2": gens["History1"], "History3": gens["History2"]}
    case.check(bed.generations() == want, "complete run with room again: the generations are not one step on")
    case.check("履歴増加: 1個のファイルが履歴に追加されました" in r.log,
               "complete run with room again: the history line does not count 1 file")


CASES = (
    ("source drive unmounted", source_unmounted),
    ("source mount point removed", mount_point_removed),
    ("table item on an unmounted drive", table_unmounted),
    ("backup drive unmounted", backup_unmounted),
    ("backup disk full", disk_full),
)


def can_mount(base):
    """None, or why this machine cannot run the cases."""
    if os.geteuid() != 0:
        return "not root"
    m = Mounts()
    try:
        m.tmpfs(os.path.join(base, "probe-tmpfs"), "1m")
        m.image(os.path.join(base, "probe-ext4"), "4M")
    except (OSError, subprocess.CalledProcessError) as e:
        return "mount failed: %s" % (getattr(e, "stderr", b"") or str(e).encode()).decode(errors="replace").strip()
    finally:
        m.cleanup()
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bin", required=True, help="the renvo-run to test")
    ap.add_argument("--keep", action="store_true", help="keep the work folders of failed cases")
    args = ap.parse_args()
    binary = os.path.abspath(args.bin)
    if not os.access(binary, os.X_OK):
        sys.exit("drive test: no program at %s" % binary)
    work = tempfile.mkdtemp(prefix="renvo-drives-")
    try:
        why = can_mount(work)
        if why:
            print("drive test: %d cases SKIPPED (%s)" % (len(CASES), why))
            return 0
        failed = 0
        for i, (name, fn) in enumerate(CASES, 1):
            case, mounts = Case("%d %s" % (i, name)), Mounts()
            base = os.path.join(work, "case%d" % i)
            try:
                fn(Bed(binary, base, mounts), case)
            except (OSError, subprocess.CalledProcessError) as e:
                case.check(False, "the case could not go on: %s %s" % (e, getattr(e, "stderr", "") or ""))
            finally:
                mounts.cleanup()
            print("case %s: %s" % (case.name, "%d failed checks" % case.failures if case.failures else "ok"),
                  flush=True)
            failed += case.failures > 0
        print("drive test: %d cases, %d failed" % (len(CASES), failed))
        return 1 if failed else 0
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("work folder kept: %s" % work)


if __name__ == "__main__":
    sys.exit(main())
