"""A desktop for the end-to-end tests: a virtual X display, tray hosts, and the tools that
find windows and press keys there. Every wait is for a condition, with a time-out."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time


class Failure(Exception):
    pass


def wait_for(what, condition, timeout=20.0, step=0.1):
    """condition()'s first true value, or Failure naming `what` after `timeout` seconds."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(step)


def stays_false(condition, seconds, step=0.1):
    """True when condition() stays false for `seconds`."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return False
        time.sleep(step)
    return True


class Desktop:
    def __init__(self, width=1024, height=768, wm=None):
        self.procs = []
        self.env = dict(os.environ)
        for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            self.env.pop(name, None)
        self.env["LANG"] = "C.UTF-8"
        # Xvfb picks a free display and writes its number to the pipe.
        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % (width, height),
                                 "-nolisten", "tcp"], pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        self.procs.append(xvfb)
        number = b""
        with os.fdopen(read, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise Failure("Xvfb did not start")
                number += chunk
        self.env["DISPLAY"] = ":" + number.decode().strip()
        if wm == "openbox":
            self.start_openbox()

    def start_openbox(self):
        """openbox on the display; returns once it manages windows (it has set its check window)."""
        self.start(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("openbox", lambda: "window id" in self.tool("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                                            check=False), 20)

    def start(self, argv, **kw):
        env = dict(self.env)
        env.update(kw.pop("env", {}))
        proc = subprocess.Popen(argv, env=env, **kw)
        self.procs.append(proc)
        return proc

    def private_session_bus(self):
        """A D-Bus session bus of this desktop only."""
        out = subprocess.check_output(["dbus-daemon", "--session", "--fork", "--print-address=1",
                                       "--print-pid=1"], env=self.env, text=True).split()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = out[0]
        self.bus_pid = int(out[1])

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        if getattr(self, "bus_pid", None):
            try:
                os.kill(self.bus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass

    # ---- X tools -----------------------------------------------------------------------

    def tool(self, *argv, check=True):
        result = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(argv), result.stderr.strip()))
        return result.stdout

    def windows_named(self, title):
        """Visible windows whose title is exactly `title`."""
        out = self.tool("xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title), check=False)
        return [int(w) for w in out.split()]

    def window_named(self, title, timeout=20.0):
        return wait_for("a window titled " + title, lambda: self.windows_named(title), timeout)[0]

    def children(self, window):
        """Window ids below `window`, depth first (windows may go while they are walked)."""
        out = self.tool("xwininfo", "-children", "-id", str(window), check=False)
        ids = []
        for line in out.splitlines():
            m = re.match(r"\s+(0x[0-9a-f]+) ", line)
            if m:
                child = int(m.group(1), 16)
                ids.append(child)
                ids.extend(self.children(child))
        return ids

    def geometry(self, window):
        """(left, top, width, height, viewable); a window that has gone is 0 x 0 and not viewable."""
        out = self.tool("xwininfo", "-id", str(window), check=False)
        if "Width:" not in out:
            return (0, 0, 0, 0, False)
        def field(name):
            return int(re.search(name + r":\s+(-?\d+)", out).group(1))
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height"),
                "IsViewable" in out)

    def click(self, window, button=1, repeat=1, x=None, y=None):
        left, top, width, height, _ = self.geometry(window)
        x = left + (width // 2 if x is None else x)
        y = top + (height // 2 if y is None else y)
        # A --sync move to where the pointer already is waits for a motion that never comes.
        self.tool("xdotool", "mousemove", "--sync", str(0 if x else 1), "0")
        args = ["xdotool", "mousemove", "--sync", str(x), str(y), "click"]
        if repeat > 1:
            args += ["--repeat", str(repeat), "--delay", "80"]
        self.tool(*(args + [str(button)]))

    def key(self, *keys, window=None):
        """Keys as typed: to `window` once it has the focus, else to whatever has it."""
        if window is not None:
            self.focus(window)
        self.tool(*(["xdotool", "key"] + list(keys)))

    def type_text(self, text, window=None):
        """Text typed key by key, to `window` once it has the focus, else to whatever has it."""
        if window is not None:
            self.focus(window)
        self.tool("xdotool", "type", "--delay", "20", "--", text)

    def focus(self, window):
        self.tool("xdotool", "windowfocus", "--sync", str(window), check=False)

    def screenshot(self, path):
        if shutil.which("import"):
            self.tool("import", "-window", "root", path, check=False)


def run_parts(choice, parts, args, renvo):
    """Each (name, run) of `parts` that `choice` names ("both" for all); 1 after a failure."""
    try:
        for name, run in parts:
            if choice in (name, "both"):
                run(args, renvo)
    except Failure as e:
        print("FAIL:", e)
        return 1
    return 0


def temp_base(prefix):
    return tempfile.mkdtemp(prefix=prefix)
