"""Runs a program under ptrace, counts the system calls of all its threads that change the file
system, in the order they enter the kernel, and can kill it with SIGKILL on entering the n-th
one (which is then not carried out).

strace's fault injection counts per thread and per system call: a run's main thread opens the
hive far more often than the run thread opens anything, so "the 24th openat" would fire in the
wrong thread. Counting over the whole process needs a tracer of our own. Linux on x86-64 only
(the system call numbers below); `supported()` says whether it can run here.
"""
import ctypes
import os
import platform
import re
import signal
import struct
from collections import namedtuple

# name: (number on x86-64, where its paths are). A path is ("path", i): argument i, relative to
# the working folder; ("at", d, i): argument i relative to the folder open as descriptor d (the
# descriptor itself when the path is NULL); ("fd", i): the file open as descriptor i.
CALLS = {
    "open": (2, (("path", 0),)), "creat": (85, (("path", 0),)),
    "openat": (257, (("at", 0, 1),)), "openat2": (437, (("at", 0, 1),)),
    "rename": (82, (("path", 0), ("path", 1))), "renameat": (264, (("at", 0, 1), ("at", 2, 3))),
    "renameat2": (316, (("at", 0, 1), ("at", 2, 3))),
    "unlink": (87, (("path", 0),)), "unlinkat": (263, (("at", 0, 1),)), "rmdir": (84, (("path", 0),)),
    "mkdir": (83, (("path", 0),)), "mkdirat": (258, (("at", 0, 1),)),
    "link": (86, (("path", 0), ("path", 1))), "linkat": (265, (("at", 0, 1), ("at", 2, 3))),
    "symlink": (88, (("path", 1),)), "symlinkat": (266, (("at", 1, 2),)),
    "truncate": (76, (("path", 0),)), "ftruncate": (77, (("fd", 0),)), "fallocate": (285, (("fd", 0),)),
    "fsync": (74, (("fd", 0),)), "fdatasync": (75, (("fd", 0),)), "syncfs": (306, (("fd", 0),)),
    "sync": (162, ()), "chmod": (90, (("path", 0),)), "fchmod": (91, (("fd", 0),)),
    "fchmodat": (268, (("at", 0, 1),)), "utimensat": (280, (("at", 0, 1),)),
}
BY_NUMBER = {nr: (name, where) for name, (nr, where) in CALLS.items()}
# An open changes the file system only when it creates or truncates.
OPEN_FLAGS_ARG = {"open": 1, "openat": 2}
CHANGING_OPEN = 0o100 | 0o1000 | 0o20000000  # O_CREAT | O_TRUNC | __O_TMPFILE
AT_FDCWD = -100

PTRACE_TRACEME, PTRACE_SYSCALL, PTRACE_SETOPTIONS, PTRACE_GET_SYSCALL_INFO = 0, 24, 0x4200, 0x420E
# TRACESYSGOOD, TRACEFORK, TRACEVFORK, TRACECLONE, EXITKILL
OPTIONS = 0x1 | 0x2 | 0x4 | 0x8 | 0x100000
WALL = 0x40000000
SYSCALL_ENTRY = 1
INFO = struct.Struct("=B3xIQQQ6Q")  # op, arch, instruction and stack pointer, nr, args

Call = namedtuple("Call", "n name paths")

_libc = ctypes.CDLL(None, use_errno=True)
_libc.ptrace.restype = ctypes.c_long
_libc.ptrace.argtypes = (ctypes.c_long, ctypes.c_long, ctypes.c_void_p, ctypes.c_void_p)


def supported():
    return platform.system() == "Linux" and platform.machine() == "x86_64"


def _signed(v):
    return ctypes.c_int(v & 0xFFFFFFFF).value


class _Tracee:
    def __init__(self, pid):
        self.pid = pid
        self.mem = None

    def close(self):
        if self.mem is not None:
            os.close(self.mem)

    def memory(self):
        if self.mem is None:
            self.mem = os.open("/proc/%d/mem" % self.pid, os.O_RDONLY)
        return self.mem

    def string(self, addr):
        if addr == 0:
            return None
        out = b""
        while b"\0" not in out and len(out) < 65536:
            chunk = 4096 - (addr + len(out)) % 4096  # never read across an unmapped page
            try:
                got = os.pread(self.memory(), chunk, addr + len(out))
            except OSError:
                break
            if not got:
                break
            out += got
        return out.split(b"\0")[0].decode(errors="replace")

    def u64(self, addr):
        data = os.pread(self.memory(), 8, addr)
        return struct.unpack("=Q", data)[0]

    def link(self, tid, what):
        try:
            return os.readlink("/proc/%d/%s" % (tid, what))
        except OSError:
            return "?"

    def paths(self, tid, where, args):
        out = []
        for kind, *ix in where:
            if kind == "fd":
                out.append(self.link(tid, "fd/%d" % _signed(args[ix[0]])))
                continue
            p = self.string(args[ix[-1]])
            if kind == "at" and (p is None or not p.startswith("/")):
                d = _signed(args[ix[0]])
                base = self.link(tid, "cwd" if d == AT_FDCWD else "fd/%d" % d)
                p = base if not p else base + "/" + p
            elif p is not None and not p.startswith("/"):
                p = self.link(tid, "cwd") + "/" + p
            # A file reached through its descriptor, as a copy links its unnamed file in.
            m = re.fullmatch(r"/proc/self/fd/(\d+)", p or "")
            out.append(self.link(tid, "fd/" + m.group(1)) if m else p)
        return out


def _changes(tracee, name, args):
    if name == "openat2":
        try:
            return tracee.u64(args[2]) & CHANGING_OPEN != 0
        except OSError:
            return True
    if name in OPEN_FLAGS_ARG:
        return args[OPEN_FLAGS_ARG[name]] & CHANGING_OPEN != 0
    return True


def run(argv, env, output, kill_at=None, record=False):
    """Runs argv (stdin empty, stdout and stderr into the file output). With kill_at=n the
    process is killed on entering its n-th changing call. Returns (exit status as subprocess
    gives it, the changing calls entered: all with record, else only the one killed at)."""
    pid = os.fork()
    if pid == 0:
        try:
            fd = os.open(output, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
            os.dup2(fd, 1)
            os.dup2(fd, 2)
            os.dup2(os.open(os.devnull, os.O_RDONLY), 0)
            _libc.ptrace(PTRACE_TRACEME, 0, None, None)
            os.execve(argv[0], argv, env)
        finally:
            os._exit(127)
    tracee = _Tracee(pid)
    calls, count, status = [], 0, None
    buf = ctypes.create_string_buffer(88)

    def resume(tid, sig=0):
        _libc.ptrace(PTRACE_SYSCALL, tid, None, sig)

    try:
        os.waitpid(pid, WALL)  # stopped at its exec
        _libc.ptrace(PTRACE_SETOPTIONS, pid, None, OPTIONS)
        resume(pid)
        while True:
            try:
                tid, st = os.waitpid(-1, WALL)
            except ChildProcessError:
                break
            if not os.WIFSTOPPED(st):
                if tid == pid:
                    status = os.waitstatus_to_exitcode(st)
                continue
            sig = os.WSTOPSIG(st)
            if sig == signal.SIGTRAP | 0x80:
                if _libc.ptrace(PTRACE_GET_SYSCALL_INFO, tid, ctypes.c_void_p(88), buf) > 0:
                    op, _, _, _, nr, *args = INFO.unpack_from(buf.raw)
                    known = BY_NUMBER.get(nr) if op == SYSCALL_ENTRY else None
                    if known and _changes(tracee, known[0], args):
                        count += 1
                        if record or count == kill_at:
                            calls.append(Call(count, known[0], tracee.paths(tid, known[1], args)))
                        if count == kill_at:
                            # Stopped on entry: woken by the kill, it never carries the call out.
                            os.kill(pid, signal.SIGKILL)
                            continue
                resume(tid)
            elif sig in (signal.SIGTRAP, signal.SIGSTOP):
                resume(tid)  # exec, clone events and the first stop of a new thread
            else:
                resume(tid, sig)
    finally:
        tracee.close()
    return status, calls
