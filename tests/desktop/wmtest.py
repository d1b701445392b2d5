#!/usr/bin/env python3
"""The built Renvo under a real window manager (openbox on a virtual X display) and on a Wayland
compositor (sway, headless), driven like a user.

  python3 tests/desktop/wmtest.py --bin build/bin [--session openbox|wayland|both] [--shots DIR]

The tray is a StatusNotifierItem host on a private session bus; runs are started from the
exported menu. For each ProgressPosition corner the progress window's frame, as the manager
draws it, lies in that corner of the screen and inside it, and the manager offers no minimise,
maximise; its close stops the run. Then the list editor, opened from the menu, is driven by
the keyboard alone: each shortcut and menu key opens its window, and a key closes it.
wayland: Renvo on sway only (no X display). With no StatusNotifier host it says so once and a
second start opens its list editor; a host appears, restarts, and the item registers each
time; from its menu the list editor and the settings dialog (the menu stays alive over it),
closed by their keys; a run's progress window floats at its own size; a second start ends at
once; quit."""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "pylib")]
from desktop import Desktop, Failure, run_parts, wait_for  # noqa: E402
from listedit import EDITOR  # noqa: E402
from renvofiles import write_hive  # noqa: E402
from settings import SETTINGS  # noqa: E402
from traytest import Hogs, Home, Menu, shot, start_sni_host  # noqa: E402

SCREEN = (1024, 768)
CORNERS = {0: "bottom right", 1: "bottom left", 2: "top left", 3: "top right"}
MWM_FUNCTIONS, MWM_MINIMIZE, MWM_MAXIMIZE, MWM_CLOSE = 0x1, 0x8, 0x10, 0x20


def xprop_numbers(desk, window, name):
    out = desk.tool("xprop", "-id", str(window), name, check=False)
    return [int(n, 0) for n in re.findall(r"-?(?:0x[0-9a-f]+|\d+)", out.partition("=")[2])]


def frame_rect(desk, window):
    """(left, top, right, bottom) of the window with the manager's frame, once it has one."""
    extents = xprop_numbers(desk, window, "_NET_FRAME_EXTENTS")
    left, top, width, height, viewable = desk.geometry(window)
    if len(extents) != 4 or not viewable:
        return None
    return (left - extents[0], top - extents[2], left + width + extents[1], top + height + extents[3])


def expected_corner(position, rect):
    left, top, right, bottom = rect
    width, height = right - left, bottom - top
    x = 0 if position in (1, 2) else SCREEN[0] - width
    y = 0 if position in (2, 3) else SCREEN[1] - height
    return (x, y, x + width, y + height)


def progress_in_corner(desk, args, home, renvo, position):
    write_hive(home.hive, home.settings + [("ProgressPosition", position)])
    prog = desk.start([renvo], env=home.env(), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    hogs = None
    try:
        menu = Menu(desk)
        hogs = Hogs()
        menu.click("標準ミラーリング実行(_E)...")
        progress = desk.window_named("ミラーリング中...", 30)

        # The manager frames the window, then the program puts the frame in its corner.
        def placed():
            rect = frame_rect(desk, progress)
            return rect if rect and rect == expected_corner(position, rect) else None
        try:
            wait_for("the progress window in the %s corner" % CORNERS[position], placed, 10)
        except Failure:
            raise Failure("the progress window's frame is at %s, not in the %s corner of %s" %
                          (frame_rect(desk, progress), CORNERS[position], SCREEN))
        shot(desk, args, "wm-progress-%d" % position)
        # The window asks for a title without buttons; the manager offers no maximise for its
        # fixed size. openbox keeps close and minimise all the same: minimise works by itself.
        hints = xprop_numbers(desk, progress, "_MOTIF_WM_HINTS")
        if not hints or not hints[0] & MWM_FUNCTIONS or hints[1] & (MWM_MINIMIZE | MWM_MAXIMIZE | MWM_CLOSE):
            raise Failure("the progress window does not ask for a title without buttons: %s" % hints)
        actions = desk.tool("xprop", "-id", str(progress), "_NET_WM_ALLOWED_ACTIONS", check=False)
        if "_NET_WM_ACTION_MAXIMIZE" in actions:
            raise Failure("the manager offers to maximise the progress window: %s" % actions.strip())
        if position == 0:
            # The manager's close (Alt+F4 in openbox) is the user's stop, as Escape is. The
            # first run copies every file: it is still going.
            desk.tool("xdotool", "windowactivate", "--sync", str(progress), check=False)
            wait_for("the progress window to be active",
                     lambda: desk.tool("xdotool", "getactivewindow", check=False).strip() == str(progress), 10)
            desk.key("alt+F4")
            cancelled = desk.window_named("ミラーリング中止", 60)
            hogs.stop()
            hogs = None
            desk.key("Return", window=cancelled)
        else:
            hogs.stop()
            hogs = None
        wait_for("the run to end", lambda: not desk.windows_named("ミラーリング中...")
                 and not desk.windows_named("キャンセル待ちです..."), 90)
        menu.click("終了(_Q)")
        if prog.wait(15) != 0:
            raise Failure("Renvo did not end cleanly after quit")
    finally:
        if hogs:
            hogs.stop()
        if prog.poll() is None:
            prog.kill()
            prog.wait()


# The list editor's shortcuts and menu keys, the window each opens, and the key that closes it.
WALK = (
    (("ctrl+r",), "アドレス %s の編集", "Escape"),
    (("alt+r", "r"), "アドレス %s の編集", "Escape"),
    (("ctrl+o",), "フォルダの追加", "Escape"),
    (("ctrl+f",), "ファイルの一括追加", "Escape"),
    (("ctrl+t",), "リストに追加するファイルの選択", "Escape"),
    (("alt+l", "a"), "確認", "Escape"),
    (("F10",), SETTINGS, "Escape"),
    (("alt+h", "a"), "バージョン情報", "Return"),
    (("F1",), "Renvo ヘルプ", "alt+F4"),
)


def keyboard_walk(desk, args, home, renvo):
    """The list editor from the menu, then the keyboard alone: each window opens and closes, and
    the editor has the keys again afterwards."""
    write_hive(home.hive, home.settings)
    prog = desk.start([renvo], env=home.env(), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        menu = Menu(desk)
        menu.click("リストの編集(_L)...")
        editor = desk.window_named(EDITOR, 20)
        for keys, title, close in WALK:
            title = title.replace("%s", home.src)
            desk.focus(editor)
            for key in keys:
                desk.key(key)
            window = desk.window_named(title, 15)
            shot(desk, args, "wm-walk-" + "-".join(keys))
            desk.key(close, window=window)
            wait_for("%s to close by %s" % (title, close), lambda: not desk.windows_named(title), 15)
        desk.key("alt+f", window=editor)
        desk.key("q")
        if prog.wait(15) != 0:
            raise Failure("Renvo did not end cleanly after the editor's quit")
    finally:
        if prog.poll() is None:
            prog.kill()
            prog.wait()


def run_openbox(args, renvo):
    home = Home(2000)
    desk = Desktop(*SCREEN, wm="openbox")
    try:
        desk.private_session_bus()
        start_sni_host(desk)
        for position in CORNERS:
            progress_in_corner(desk, args, home, renvo, position)
        keyboard_walk(desk, args, home, renvo)
        print("openbox: ok")
    except Failure:
        shot(desk, args, "wm-failure")
        raise
    finally:
        desk.close()
        shutil.rmtree(home.base, ignore_errors=True)


class Sway:
    """sway with its headless backend: a Wayland display with no X server. sway will not run as
    root, so a root test runs it as nobody (root still reaches its socket)."""

    def __init__(self, desk):
        self.runtime = tempfile.mkdtemp(prefix="renvo-wayland-")
        config = os.path.join(self.runtime, "config")
        with open(config, "w") as f:
            f.write("output HEADLESS-1 resolution %dx%d\nxwayland disable\n" % SCREEN)
        argv = ["sway", "-c", config]
        if os.geteuid() == 0:
            shutil.chown(self.runtime, "nobody")
            argv = ["runuser", "-u", "nobody", "--"] + argv
        os.chmod(self.runtime, 0o700)
        os.chmod(config, 0o644)
        env = {"XDG_RUNTIME_DIR": self.runtime, "HOME": self.runtime, "WLR_BACKENDS": "headless",
               "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman", "PATH": os.environ["PATH"]}
        self.proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.display = os.path.join(self.runtime, "wayland-1")
        sockets = lambda: [os.path.join(self.runtime, n) for n in os.listdir(self.runtime) if n.startswith("sway-ipc.")]
        wait_for("sway", lambda: sockets() and os.path.exists(self.display), 30)
        self.ipc = sockets()[0]
        self.desk = desk

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        shutil.rmtree(self.runtime, ignore_errors=True)

    def client_env(self):
        return {"WAYLAND_DISPLAY": self.display, "QT_QPA_PLATFORM": "wayland"}

    def msg(self, *argv):
        out = subprocess.run(["swaymsg", "-s", self.ipc, "-r"] + list(argv), capture_output=True, text=True,
                             timeout=30)
        return json.loads(out.stdout) if out.stdout.strip() else None

    def windows(self):
        """(title, rect, focused) of every window sway shows."""
        found = []

        def walk(node):
            if node.get("type") in ("con", "floating_con") and node.get("pid"):
                found.append((node.get("name"), node["rect"], node.get("focused"), node["type"]))
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        tree = self.msg("-t", "get_tree")
        if tree:
            walk(tree)
        return found

    def window_named(self, title, timeout=20.0):
        return wait_for("a window titled " + title,
                        lambda: next((w for w in self.windows() if w[0] == title), None), timeout)

    def gone(self, title, timeout=20.0):
        wait_for("the window %s to go" % title, lambda: all(w[0] != title for w in self.windows()), timeout)

    def keys(self, title, *argv):
        """wtype's arguments, typed into the window `title` once sway gives it the focus. The pause
        first lets the program take the new virtual keyboard's keymap."""
        self.msg('[title="^%s$"] focus' % re.escape(title))
        wait_for("the focus on " + title, lambda: any(w[0] == title and w[2] for w in self.windows()), 10)
        subprocess.run(["wtype", "-s", "1000"] + list(argv) + ["-s", "200"], env=dict(os.environ, **self.client_env()),
                       check=True, timeout=30)

    def screenshot(self, args, name):
        if args.shots:
            os.makedirs(args.shots, exist_ok=True)
            subprocess.run(["grim", os.path.join(args.shots, name + ".png")], env=dict(os.environ, **self.client_env()),
                           check=False, timeout=30)


def run_wayland(args, renvo):
    home = Home(2000)
    # The X display only holds the StatusNotifier host; Renvo itself sees no X server.
    desk = Desktop(*SCREEN)
    sway = None
    prog = None
    hogs = None
    try:
        desk.private_session_bus()
        sway = Sway(desk)
        env = dict(home.env(), **sway.client_env())
        wayland_only = dict(desk.env, **env)
        wayland_only.pop("DISPLAY", None)

        # No StatusNotifier host yet (GNOME without its extension): Renvo says so once, and a
        # second start meanwhile opens the list editor of the running one.
        prog = subprocess.Popen([renvo], env=wayland_only, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        sway.window_named("Renvo for Linux", 30)
        sway.screenshot(args, "wl-0-no-tray")
        sway.keys("Renvo for Linux", "-k", "Return")
        sway.gone("Renvo for Linux")
        second = subprocess.run([renvo], env=wayland_only, capture_output=True, timeout=30)
        if second.returncode != 0:
            raise Failure("a second start on Wayland ended with %d" % second.returncode)
        sway.window_named(EDITOR)
        sway.keys(EDITOR, "-M", "alt", "f", "-m", "alt", "c")
        sway.gone(EDITOR)

        # A host appears: the icon with it; the host and its watcher restart: the icon again.
        watcher, host = start_sni_host(desk)
        menu = Menu(desk)
        for proc in (host, watcher):
            proc.kill()
            proc.wait()
        start_sni_host(desk)
        menu = Menu(desk)
        if any(w[0] == "Renvo for Linux" for w in sway.windows()):
            raise Failure("Renvo said again that it has no tray")

        menu.click("リストの編集(_L)...")
        sway.window_named(EDITOR)
        sway.screenshot(args, "wl-1-editor")
        sway.keys(EDITOR, "-M", "alt", "f", "-m", "alt", "c")
        sway.gone(EDITOR)

        # The settings dialog leaves the tray's menu alive.
        menu.click("環境設定(_V)...")
        sway.window_named(SETTINGS)
        sway.screenshot(args, "wl-2-settings")
        menu.click("リストの編集(_L)...")
        sway.window_named(EDITOR)
        sway.keys(EDITOR, "-M", "alt", "f", "-m", "alt", "c")
        sway.gone(EDITOR)
        sway.keys(SETTINGS, "-k", "Escape")
        sway.gone(SETTINGS)

        # A run: the progress window floats at its own size (sway places it; Wayland lets no
        # program choose where its windows go).
        hogs = Hogs()
        menu.click("標準ミラーリング実行(_E)...")
        _, rect, _, kind = sway.window_named("ミラーリング中...", 30)
        sway.screenshot(args, "wl-3-progress")
        if kind != "floating_con" or rect["width"] > SCREEN[0] // 2 or rect["height"] > SCREEN[1] // 3:
            raise Failure("the progress window is not a small floating window: %s %s" % (kind, rect))
        hogs.stop()
        hogs = None
        sway.gone("ミラーリング中...", 90)

        second = subprocess.run([renvo], env=wayland_only, capture_output=True, timeout=30)
        if second.returncode != 0:
            raise Failure("a second start on Wayland ended with %d" % second.returncode)
        menu.click("終了(_Q)")
        if prog.wait(15) != 0:
            raise Failure("Renvo did not end cleanly after quit")
        print("wayland: ok")
    except Failure:
        if sway:
            sway.screenshot(args, "wl-failure")
        if prog and prog.poll() is None:
            prog.kill()
            print(prog.communicate()[1].decode(errors="replace")[-2000:])
        raise
    finally:
        if hogs:
            hogs.stop()
        if prog and prog.poll() is None:
            prog.kill()
            prog.wait()
        if sway:
            sway.close()
        desk.close()
        shutil.rmtree(home.base, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--session", choices=("openbox", "wayland", "both"), default="both")
    ap.add_argument("--shots", default=None)
    args = ap.parse_args()
    renvo = os.path.join(os.path.abspath(args.bin), "Renvo")
    return run_parts(args.session, (("openbox", run_openbox), ("wayland", run_wayland)), args, renvo)


if __name__ == "__main__":
    sys.exit(main())
