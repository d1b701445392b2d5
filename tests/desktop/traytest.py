#!/usr/bin/env python3
"""The built Renvo on a real desktop: a virtual X display with a tray host, driven like a user.

  python3 tests/desktop/traytest.py --bin build/bin [--tray xembed|sni] [--shots DIR]

xembed: trayer holds the icon. Renvo starts before any tray: it says so in a box, a later start
meanwhile opens its list editor, and it shows its icon once trayer starts; the tray host is killed and started again and the icon comes back. A right click
opens the menu and its mnemonics choose items; a standard run started from the menu shows the progress window, whose cancel
button stops it; a double click during the run is refused with the run's message, a single
click is not; a second start ends at once; the menu's quit ends the program and saves.
sni: a StatusNotifierItem host on a private session bus; when the watcher and the host restart,
the item registers again; the tooltip and the menu are read over D-Bus, and an activation
during a run is refused like a double click."""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "pylib")]
from desktop import Desktop, Failure, run_parts, stays_false, temp_base, wait_for  # noqa: E402
from renvofiles import LIST_FILE, hive_path, list_record, write_hive  # noqa: E402


class Hogs:
    """Busy loops on every core at the normal priority, starving a run at the idle priority."""

    def __init__(self):
        self.procs = [subprocess.Popen(["sh", "-c", "while :; do :; done"]) for _ in range(os.cpu_count() or 2)]

    def stop(self):
        for p in self.procs:
            p.kill()
            p.wait()
        self.procs = []


class Home:
    """A program folder, a hive and a source tree of their own."""

    def __init__(self, files, untrusted=False):
        self.base = temp_base("renvo-desktop-")
        self.prog = os.path.join(self.base, "prog")
        self.cfg = os.path.join(self.base, "config")
        self.src = os.path.join(self.base, "src")
        self.top = os.path.join(self.base, "top")
        self.log = os.path.join(self.base, "logfile.txt")
        self.hive = hive_path(self.cfg)
        for d in (self.prog, os.path.dirname(self.hive), self.src):
            os.makedirs(d, exist_ok=True)
        # The run works at the idle priority (TaskPriority 5): while the test keeps both cores
        # busy (Hogs), the run is still going when the test acts on it.
        for i in range(files):
            folder = os.path.join(self.src, "d%03d" % (i // 500))
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
                f.write(b"x" * 2048)
        with open(os.path.join(self.prog, LIST_FILE), "wb") as f:
            f.write(list_record(self.src, "src", option=1))
            if untrusted:  # a record no run may use: the run skips it and says so
                f.write(list_record(self.src, "../..", option=1))
        self.settings = [("MirTopFolder", self.top), ("Mirroring", 0), ("ShowProgressDialog", 1), ("TaskPriority", 5),
                         ("EveryTimes", 5), ("DoneStandard", 0), ("LogFile", self.log), ("KeepLogFile", 1)]
        write_hive(self.hive, self.settings)

    def env(self):
        return {"RENVO_HOME": self.prog, "XDG_CONFIG_HOME": self.cfg, "XDG_RUNTIME_DIR": self.base,
                "ASAN_OPTIONS": "detect_leaks=0"}

    def stored(self, name):
        with open(self.hive) as f:
            m = re.search(r'^"%s"=(.*)$' % name, f.read(), re.M)
        return m.group(1) if m else None


def panels(desk):
    return [int(w) for w in desk.tool("xdotool", "search", "--name", "^panel$", check=False).split()]


EDITOR = "Renvo のファイルリスト設定"


def start_tray(desk):
    """A new trayer; its panel window. A trayer that ends without showing one (seen now and
    then on a loaded machine) is started again."""
    for _ in range(3):
        proc = desk.start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                           "32", "--SetDockType", "false", "--SetPartialStrut", "false"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        found = wait_for("the tray host", lambda: panels(desk) or proc.poll() is not None, 30)
        if found is not True:
            return found[0]
    raise Failure("the tray host ended three times without showing its panel")


def tray_icon(desk, panel):
    """The icon's window: Renvo's small mapped window embedded in the tray host's panel."""
    inside = set()

    def find():
        inside.update(desk.children(panel))
        out = desk.tool("xdotool", "search", "--onlyvisible", "--class", "Renvo", check=False)
        for w in (int(x) for x in out.split()):
            if w not in inside:
                continue
            _, _, width, height, viewable = desk.geometry(w)
            if viewable and 8 <= width <= 64 and 8 <= height <= 64:
                return w
        return None
    return wait_for("the tray icon", find, 30)


def shot(desk, args, name):
    if args.shots:
        os.makedirs(args.shots, exist_ok=True)
        desk.screenshot(os.path.join(args.shots, name + ".png"))


def second_start_ends(desk, renvo, home):
    second = desk.start([renvo], env=home.env(), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        code = second.wait(15)
    except subprocess.TimeoutExpired:
        second.kill()
        raise Failure("a second start did not end")
    if code != 0:
        raise Failure("a second start ended with %d" % code)


def run_xembed(args, renvo):
    home = Home(args.files)
    desk = Desktop(wm=args.wm)
    hogs = None
    try:
        # Renvo first, with no tray yet: it says so once, keeps running, and shows its icon once
        # a tray exists.
        first = desk.start([renvo], env=home.env(), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        box = desk.window_named("Renvo for Linux", 20)
        shot(desk, args, "0-no-tray")
        desk.key("Return", window=box)
        wait_for("the no-tray box to close", lambda: not desk.windows_named("Renvo for Linux"), 10)
        # Meanwhile a later start opens the list editor of the running one.
        second_start_ends(desk, renvo, home)
        editor = desk.window_named(EDITOR, 20)
        desk.key("alt+f", window=editor)
        wait_for("the file menu", lambda: visible_popup(desk), 10)
        desk.key("c")
        wait_for("the list editor to close", lambda: not desk.windows_named(EDITOR), 15)
        panel = start_tray(desk)
        icon = tray_icon(desk, panel)
        # The tray host goes away and comes back: the icon comes back into the new one.
        desk.procs[-1].kill()
        desk.procs[-1].wait()
        wait_for("the tray host to go", lambda: not panels(desk), 20)
        if first.poll() is not None:
            raise Failure("Renvo ended when the tray went away")
        panel = start_tray(desk)
        icon = tray_icon(desk, panel)
        shot(desk, args, "1-icon")

        second_start_ends(desk, renvo, home)
        if first.poll() is not None:
            raise Failure("the first instance ended after a second start")

        # The menu by a right click; "E" is the standard run's mnemonic.
        desk.click(icon, button=3)
        menu = wait_for("the tray menu", lambda: visible_popup(desk), 10)
        shot(desk, args, "2-menu")
        hogs = Hogs()
        desk.key("e")
        progress = desk.window_named("ミラーリング中...", 20)
        shot(desk, args, "3-progress")

        # During the run: a double click is the edit-list command, refused; a single click is nothing.
        desk.click(icon, button=1, repeat=2)
        box = desk.window_named("ミラーリング中", 10)
        shot(desk, args, "4-refused")
        desk.focus(box)
        desk.key("Return", window=box)
        wait_for("the refusal to close", lambda: not desk.windows_named("ミラーリング中"), 10)
        desk.click(icon, button=1)
        if not stays_false(lambda: desk.windows_named("ミラーリング中"), 2.0):
            raise Failure("a single click was taken for a double click")

        # The cancel button: focus is on it, Space presses it.
        desk.focus(progress)
        desk.key("space", window=progress)
        cancelled = desk.window_named("ミラーリング中止", 60)
        hogs.stop()
        shot(desk, args, "5-cancelled")
        desk.focus(cancelled)
        desk.key("Return", window=cancelled)
        wait_for("the progress window to close", lambda: not desk.windows_named("キャンセル待ちです...")
                 and not desk.windows_named("ミラーリング中..."), 30)

        # Quit by the menu's mnemonic: the settings are saved (the run was counted).
        desk.click(icon, button=3)
        wait_for("the tray menu", lambda: visible_popup(desk), 10)
        desk.key("q")
        code = first.wait(15)
        if code != 0:
            raise Failure("Renvo ended with %d after quit" % code)
        if home.stored("DoneStandard") != "dword:00000001":
            raise Failure("quit did not save the counter: %r" % home.stored("DoneStandard"))
        with open(home.log, encoding="utf-8", errors="replace") as f:
            if "キャンセル" not in f.read() and not os.path.exists(home.log):
                raise Failure("the log does not tell of the cancel")
        print("xembed: ok")
    finally:
        if hogs:
            hogs.stop()
        desk.close()
        shutil.rmtree(home.base, ignore_errors=True)


def visible_popup(desk):
    """A visible override-redirect window of Renvo larger than an icon (an open menu)."""
    out = desk.tool("xdotool", "search", "--onlyvisible", "--class", "Renvo", check=False)
    for w in (int(x) for x in out.split()):
        attrs = desk.tool("xwininfo", "-id", str(w), check=False)
        _, _, width, height, viewable = desk.geometry(w)
        if viewable and "Override Redirect State: yes" in attrs and width > 64 and height > 64:
            return w
    return None


def busctl(desk, *argv):
    """busctl on the desktop's private bus; its JSON answer as Python data."""
    out = desk.tool("busctl", "--address=" + desk.env["DBUS_SESSION_BUS_ADDRESS"], "--json=short", *argv)
    return json.loads(out) if out.strip() else None


def sni_item(desk):
    """The bus name of the status notifier item that the watcher knows."""
    try:
        items = busctl(desk, "get-property", "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                       "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")["data"]
    except (Failure, TypeError, KeyError):
        return None
    return items[0] if items else None


def host_registered(desk):
    try:
        return busctl(desk, "get-property", "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                      "org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered")["data"]
    except (Failure, TypeError, KeyError):
        return False


def watcher_on_bus(desk):
    return "org.kde.StatusNotifierWatcher" in desk.tool(
        "busctl", "--address=" + desk.env["DBUS_SESSION_BUS_ADDRESS"], "list", "--no-pager", check=False)


def start_sni_host(desk):
    """A StatusNotifier watcher and a host on the desktop's bus; their processes."""
    watcher = desk.start(["status-notifier-watcher"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for("the watcher", lambda: watcher_on_bus(desk), 20)
    host = desk.start(["gtk-sni-tray-standalone"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for("the tray host", lambda: host_registered(desk), 20)
    return watcher, host


def menu_labels(node, found):
    """label -> id of every item in a com.canonical.dbusmenu layout."""
    ident, props, children = node
    if "label" in props:
        found[props["label"]["data"]] = ident
    for child in children:
        menu_labels(child["data"], found)
    return found


class Menu:
    """The program's exported tray menu, its entries by label."""

    def __init__(self, desk, what="the status notifier item"):
        item = wait_for(what, lambda: sni_item(desk), 30)
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


def run_sni(args, renvo):
    home = Home(args.files, untrusted=True)
    desk = Desktop(wm=args.wm)
    hogs = None
    try:
        desk.private_session_bus()
        watcher, host = start_sni_host(desk)
        first = desk.start([renvo], env=home.env(), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        wait_for("the status notifier item", lambda: sni_item(desk), 30)

        # The watcher and the host restart (a panel that crashed and came back): the item
        # registers with the new watcher.
        for proc in (host, watcher):
            proc.kill()
            proc.wait()
        wait_for("the watcher to go", lambda: not watcher_on_bus(desk), 20)
        watcher, host = start_sni_host(desk)
        menu = Menu(desk, "the status notifier item with the new watcher")
        service, path, labels = menu.service, menu.path, menu.labels

        # The tooltip is kept current by a timer: the host reports no mouse movement.
        tip = busctl(desk, "get-property", service, path, "org.kde.StatusNotifierItem", "ToolTip")["data"]
        if "Renvo - 手動実行モードです" not in tip[2]:
            raise Failure("the item's tooltip is not the next-run text: %r" % (tip,))
        wanted = ("リストの編集(_L)...", "環境設定(_V)...", "自動実行(_A)", "標準ミラーリング実行(_E)...",
                  "完全ミラーリング実行(_C)", "ログファイルの表示(_D)", "ヘルプ(_H)", "終了(_Q)")
        missing = [w for w in wanted if w not in labels]
        if missing:
            raise Failure("the exported menu lacks %s (has %s)" % (missing, sorted(labels)))
        shot(desk, args, "sni-1-host")
        second_start_ends(desk, renvo, home)

        # A run from the exported menu, then an activation during it: the double-click
        # command, refused while the run goes on.
        hogs = Hogs()
        menu.click("標準ミラーリング実行(_E)...")
        desk.window_named("ミラーリング中...", 30)
        busctl(desk, "call", service, path, "org.kde.StatusNotifierItem", "Activate", "--", "ii", "0", "0")
        box = desk.window_named("ミラーリング中", 20)
        shot(desk, args, "sni-2-refused")
        desk.key("Return", window=box)
        hogs.stop()
        wait_for("the run to end", lambda: not desk.windows_named("ミラーリング中..."), 60)
        # After the run the tooltip names its outcome, renewed without any mouse movement.
        def tip_names_skip():
            tip = busctl(desk, "get-property", service, path, "org.kde.StatusNotifierItem", "ToolTip")["data"]
            return "前回: 除外した項目 1 件" in tip[2]
        wait_for("the tooltip to name the skipped record", tip_names_skip, 20)
        menu.click("終了(_Q)")
        if first.wait(15) != 0:
            raise Failure("Renvo did not end cleanly after quit")
        print("sni: ok")
    finally:
        if hogs:
            hogs.stop()
        desk.close()
        shutil.rmtree(home.base, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--tray", choices=("xembed", "sni", "both"), default="both")
    ap.add_argument("--files", type=int, default=5000)
    ap.add_argument("--shots", default=None)
    ap.add_argument("--wm", choices=("openbox",), default=None, help="a window manager on the display")
    args = ap.parse_args()
    renvo = os.path.join(os.path.abspath(args.bin), "Renvo")
    return run_parts(args.tray, (("xembed", run_xembed), ("sni", run_sni)), args, renvo)


if __name__ == "__main__":
    sys.exit(main())
