#!/usr/bin/env python3
"""The built Renvo under a real window manager (openbox on a virtual X display), driven like a user.

  python3 tests/desktop/wmtest.py --bin build/bin [--shots DIR]

The tray is a StatusNotifierItem host on a private session bus; runs are started from the
exported menu. For each ProgressPosition corner the progress window's frame, as the manager
draws it, lies in that corner of the screen and inside it, and the manager offers no minimise,
maximise or close for it. The list editor, the settings dialog and the help window open
from the menu and close by their keys."""

import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "pylib")]
from desktop import Desktop, Failure, wait_for  # noqa: E402
from listedit import EDITOR, script_main  # noqa: E402
from renvofiles import write_hive  # noqa: E402
from traytest import Hogs, Home, busctl, menu_labels, shot, sni_item, start_sni_host  # noqa: E402

SCREEN = (1024, 768)
CORNERS = {0: "bottom right", 1: "bottom left", 2: "top left", 3: "top right"}
MWM_FUNCTIONS, MWM_MINIMIZE, MWM_MAXIMIZE, MWM_CLOSE = 0x1, 0x8, 0x10, 0x20


def start_openbox(desk):
    """openbox on the display; returns once it manages windows (it has set its check window)."""
    desk.start(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for("openbox", lambda: "window id" in desk.tool("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False),
             20)


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


class Menu:
    """The program's exported tray menu, its entries by label."""

    def __init__(self, desk):
        item = wait_for("the status notifier item", lambda: sni_item(desk), 30)
        self.desk = desk
        self.service, _, path = item.partition("/")
        self.path = "/" + path if path else "/StatusNotifierItem"
        self.menu = busctl(desk, "get-property", self.service, self.path, "org.kde.StatusNotifierItem", "Menu")["data"]
        layout = busctl(desk, "call", self.service, self.menu, "com.canonical.dbusmenu", "GetLayout", "--", "iias",
                        "0", "-1", "0")["data"][1]
        self.labels = menu_labels(layout, {})

    def click(self, label):
        busctl(self.desk, "call", self.service, self.menu, "com.canonical.dbusmenu", "Event", "--", "isvu",
               str(self.labels[label]), "clicked", "s", "", "0")


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
        if position == 3:
            # The manager's close (Alt+F4 in openbox) is the user's stop, as Escape is.
            desk.tool("xdotool", "windowactivate", "--sync", str(progress), check=False)
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


def run(args, renvo):
    home = Home(2000)
    home.settings = [("MirTopFolder", home.top), ("Mirroring", 0), ("ShowProgressDialog", 1), ("TaskPriority", 5),
                     ("EveryTimes", 5), ("DoneStandard", 0), ("LogFile", home.log), ("KeepLogFile", 1)]
    desk = Desktop(*SCREEN)
    try:
        desk.private_session_bus()
        start_openbox(desk)
        start_sni_host(desk)
        for position in CORNERS:
            progress_in_corner(desk, args, home, renvo, position)
        print("openbox: ok")
    except Failure:
        shot(desk, args, "wm-failure")
        raise
    finally:
        desk.close()
        shutil.rmtree(home.base, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(script_main(run))
