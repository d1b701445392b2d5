#!/usr/bin/env python3
"""The settings dialog of the built Renvo on a real desktop, driven by the keyboard like a user.

  python3 tests/desktop/settings.py --bin build/bin [--shots DIR]

The tray menu's settings entry opens the dialog; Alt+E ticks automatic runs, Alt+I goes to the
interval, 90 is typed over it and Enter presses OK: the hive then holds Mirroring on and an
interval of exactly 90 minutes as a day fraction. Opened again, it leaves the tray alive (the
icon's menu opens over it), and shows 90 (the
window looks the same as after typing 90 over it, and differs once it shows 91). Ctrl+Tab
walks the three pages (the idle page also in CPU mode, for its long advice). The list
editor's item dialog opens on an added folder by Space and Enter and closes by Escape. The
menu's quit ends the program with 0."""

import os
import re
import shutil
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "pylib")]
from desktop import Desktop, Failure, wait_for  # noqa: E402
from listedit import EDITOR, add_folder, click_icon, close_by_menu, expect_records, renvo_on_tray, script_main  # noqa: E402
from renvofiles import LIST_FILE  # noqa: E402
from traytest import Home, shot, visible_popup  # noqa: E402

SETTINGS = "Renvo の環境設定"
KEY = "[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]"


def item_caption(address):
    return "アドレス %s の編集" % address


def hive_values(path):
    """name -> raw value text of the program's key, continued hex lines joined."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if not text.startswith("REGEDIT4\n"):
        raise Failure("the hive does not start with REGEDIT4: %r" % text[:40])
    text = text.replace("\\\n  ", "")
    values, inside = {}, False
    for line in text.splitlines():
        if line.startswith("["):
            inside = line == KEY
        elif inside:
            m = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if m:
                values[m.group(1)] = m.group(2)
    return values


def hex_bytes(value):
    """The bytes of a hex:... value, or None for another kind."""
    if value is None or not value.startswith("hex:"):
        return None
    return bytes(int(b, 16) for b in value[4:].split(","))


class Grabs:
    """Pictures of one window, compared pixel by pixel."""

    def __init__(self, desk, folder):
        self.desk, self.folder, self.n = desk, folder, 0

    def grab(self, window):
        self.n += 1
        path = os.path.join(self.folder, "grab%03d.png" % self.n)
        self.desk.tool("import", "-window", str(window), path)
        return path

    def differing(self, a, b):
        """How many pixels differ (a size change counts as all of them)."""
        result = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
        m = re.match(r"\s*([0-9.e+]+)", result.stderr)
        if result.returncode > 1 or not m:
            return 1 << 30
        return int(float(m.group(1)))


# A text caret is a line a pixel or two wide; anything well above it is a change of the window.
CARET = 60


def wait_changed(grabs, window, before, what, timeout=10.0):
    """Waits until the window differs from `before` by more than a caret, then until it holds
    still (a mnemonic's animated click passes through a pressed look first)."""
    state = {"last": None}

    def settled():
        now = grabs.grab(window)
        last, state["last"] = state["last"], now
        if grabs.differing(before, now) <= CARET:
            return False
        return last is not None and grabs.differing(last, now) <= CARET
    wait_for(what, settled, timeout, step=0.3)


def still_picture(grabs, window, tolerance=0):
    """A picture of the window once two in a row agree (painting done)."""
    state = {"last": grabs.grab(window)}

    def still():
        now = grabs.grab(window)
        same = grabs.differing(state["last"], now) <= tolerance
        state["last"] = now
        return now if same else None
    return wait_for("the window to hold still", still, 10, step=0.2)


def open_settings(desk, icon):
    click_icon(desk, icon, button=3)
    wait_for("the tray menu", lambda: visible_popup(desk), 10)
    desk.key("v")
    return desk.window_named(SETTINGS, 20)


def closed(desk, title, what):
    wait_for(what, lambda: not desk.windows_named(title), 15)


def interval_picture(desk, grabs, dialog, typed=None, step=None):
    """The dialog with the interval as it is, as typed or as stepped, the focus moved back to the
    check box before it (no caret, no selection in the picture)."""
    desk.key("alt+i", window=dialog)
    if typed is not None:
        desk.key("ctrl+a")
        desk.type_text(typed)
    for key in step or ():
        desk.key(key)
    desk.key("shift+Tab")
    return still_picture(grabs, dialog)


def check_settings(desk, grabs, icon, hive, args):
    """Alt+E, Alt+I, 90, Enter; the hive holds them; opened again it shows 90."""
    dialog = open_settings(desk, icon)
    desk.focus(dialog)
    before = still_picture(grabs, dialog, CARET)
    shot(desk, args, "settings-1-opened")
    desk.key("alt+e", window=dialog)
    wait_changed(grabs, dialog, before, "the automatic-run box to tick")
    desk.key("alt+i", window=dialog)
    desk.key("ctrl+a")
    desk.type_text("90")
    desk.key("Return")
    closed(desk, SETTINGS, "the settings dialog to close on Enter")

    want = struct.pack("<d", 90 / 1440)

    def saved():
        try:
            v = hive_values(hive)
        except (OSError, UnicodeDecodeError):
            return None
        return v if v.get("Mirroring") == "dword:00000001" and hex_bytes(v.get("Interval")) == want else None
    try:
        wait_for("the hive to hold the new settings", saved, 15)
    except Failure:
        v = hive_values(hive)
        raise Failure("the hive holds Mirroring=%r Interval=%r, not dword:00000001 and %s" %
                      (v.get("Mirroring"), v.get("Interval"), "hex:" + want.hex(",")))

    # Opened again: the tray stays alive while it is open (its menu opens and closes on Escape).
    dialog = open_settings(desk, icon)

    def tray_menu_opens():
        # The dialog's own activation right after it shows may close a menu opened meanwhile.
        if not visible_popup(desk):
            click_icon(desk, icon, button=3)
            time.sleep(0.5)
        return visible_popup(desk)
    wait_for("the tray menu over the open dialog", tray_menu_opens, 20, step=0.5)
    desk.key("Escape")
    wait_for("the tray menu to close", lambda: not visible_popup(desk), 10)
    # Stepping up and back leaves the loaded value and lights Apply as typing does.
    loaded = interval_picture(desk, grabs, dialog, step=("Up", "Down"))
    ninety = interval_picture(desk, grabs, dialog, typed="90")
    other = interval_picture(desk, grabs, dialog, typed="91")
    if grabs.differing(ninety, other) == 0:
        raise Failure("the pictures do not tell 90 from 91")
    if grabs.differing(loaded, ninety) != 0:
        shutil.copy(loaded, os.path.join(args.shots or grabs.folder, "settings-loaded.png"))
        raise Failure("the reopened dialog does not show an interval of 90 (%d pixels differ)" %
                      grabs.differing(loaded, ninety))
    interval_picture(desk, grabs, dialog, typed="90")
    shot(desk, args, "settings-2-mirroring")
    for name in ("settings-3-idle", "settings-4-detail"):
        before = grabs.grab(dialog)
        desk.key("ctrl+Tab", window=dialog)
        wait_changed(grabs, dialog, before, "the next page")
        shot(desk, args, name)
        if name == "settings-3-idle":
            # The CPU mode puts the long measuring advice where the short intro was.
            before = grabs.grab(dialog)
            desk.key("alt+c", window=dialog)
            wait_changed(grabs, dialog, before, "the CPU mode's advice")
            shot(desk, args, "settings-3-idle-cpu")
    desk.key("Escape", window=dialog)
    closed(desk, SETTINGS, "the settings dialog to close on Escape")
    # Cancelled: the hive keeps what OK stored.
    if not saved():
        raise Failure("the cancelled dialog changed the hive")


def check_item_dialog(desk, grabs, icon, home, args):
    """The list editor: a folder added, its row's Enter opens the item dialog, Escape closes it."""
    folder = os.path.join(home.base, "data", "Letters")
    os.makedirs(folder)
    click_icon(desk, icon, button=3)
    wait_for("the tray menu", lambda: visible_popup(desk), 10)
    desk.key("l")
    editor = desk.window_named(EDITOR, 20)
    add_folder(desk, editor, folder)
    # The new row is current but not selected (a key that moves nowhere selects nothing):
    # Space selects it.
    desk.key("space", window=editor)
    desk.key("Return")
    item = desk.window_named(item_caption(folder), 20)
    desk.focus(item)
    still_picture(grabs, item, CARET)
    shot(desk, args, "item-1-edit")
    desk.key("Escape", window=item)
    closed(desk, item_caption(folder), "the item dialog to close on Escape")
    close_by_menu(desk, editor)
    expect_records(os.path.join(home.prog, LIST_FILE), [(folder, "data/Letters")])


def run(args, renvo):
    home = Home(0)
    with open(os.path.join(home.prog, LIST_FILE), "wb"):
        pass  # an empty list: no warning at start
    grabs = Grabs(None, os.path.join(home.base, "grabs"))
    os.makedirs(grabs.folder)
    desk = Desktop(wm=args.wm)
    grabs.desk = desk
    with renvo_on_tray(desk, renvo, home, args, "settings") as (prog, icon):
        check_settings(desk, grabs, icon, home.hive, args)
        prog.alive()
        check_item_dialog(desk, grabs, icon, home, args)
        prog.alive()


if __name__ == "__main__":
    sys.exit(script_main(run))
