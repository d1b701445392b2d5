#!/usr/bin/env python3
"""The list editor of the built Renvo on a real desktop, driven by the keyboard like a user.

  python3 tests/desktop/listedit.py --bin build/bin [--shots DIR]

The program folder starts with an empty list file (no first-run warning). The tray menu's
edit-list entry opens the editor; Ctrl+O opens the add-folder dialog, a typed folder and Enter
add it, and File > Close saves the list on the way out: the list file then holds that one
folder record. A double click on the tray icon opens the editor again on the saved rows; two
more folders are added (one typed with a trailing delimiter) and the list file holds all
three in order. The menu's quit ends the program."""

import argparse
import contextlib
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "pylib")]
from desktop import Desktop, Failure, wait_for  # noqa: E402
from renvofiles import ITEM_SIZE, LIST_FILE  # noqa: E402
from traytest import Home, shot, start_tray, tray_icon, visible_popup  # noqa: E402

EDITOR = "Renvo のファイルリスト設定"
ADD_FOLDER = "フォルダの追加"
ADDRESS_AT = 2    # length byte of the address
DEST_AT = 516     # length byte of the destination


def short_string_at(record, offset):
    length = record[offset]
    return record[offset + 1:offset + 1 + length].decode("utf-8", errors="replace")


def records(path):
    """(address, destination) of each record of a list file; Failure on a torn file."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) % ITEM_SIZE:
        raise Failure("the list file is %d bytes, not whole %d-byte records" % (len(data), ITEM_SIZE))
    return [(short_string_at(data[i:i + ITEM_SIZE], ADDRESS_AT), short_string_at(data[i:i + ITEM_SIZE], DEST_AT))
            for i in range(0, len(data), ITEM_SIZE)]


def list_size(path):
    try:
        return os.path.getsize(path)
    except OSError:
        return -1


class Renvo:
    """The running program, its output kept in a file to show when something fails."""

    def __init__(self, desk, renvo, home):
        self.out_path = os.path.join(home.base, "renvo.out")
        self.out = open(self.out_path, "wb")
        self.proc = desk.start([renvo], env=home.env(), stdout=self.out, stderr=subprocess.STDOUT)

    def alive(self):
        if self.proc.poll() is not None:
            raise Failure("Renvo ended with %d" % self.proc.returncode)

    def output(self):
        self.out.flush()
        with open(self.out_path, "rb") as f:
            return f.read().decode("utf-8", errors="replace")


def click_icon(desk, icon, **kw):
    """A click on the tray icon from elsewhere: a synchronous move onto the spot where the
    pointer already is would wait for a motion that never comes."""
    desk.tool("xdotool", "mousemove", "500", "700")
    desk.click(icon, **kw)


def add_folder(desk, editor, folder):
    """Ctrl+O, the folder typed into the dialog's focused edit, Enter: the dialog closes."""
    desk.key("ctrl+o", window=editor)
    dialog = desk.window_named(ADD_FOLDER, 15)
    desk.type_text(folder, window=dialog)
    desk.key("Return", window=dialog)
    wait_for("the add-folder dialog to close", lambda: not desk.windows_named(ADD_FOLDER), 15)


def close_by_menu(desk, editor):
    """Alt+F, then the close entry's mnemonic; the window goes."""
    desk.key("alt+f", window=editor)
    wait_for("the file menu", lambda: visible_popup(desk), 10)
    desk.key("c")
    wait_for("the list editor to close", lambda: not desk.windows_named(EDITOR), 15)


def expect_records(path, wanted):
    """The list file holds exactly `wanted` (waits for the save to land)."""
    try:
        wait_for("a list file of %d records" % len(wanted), lambda: list_size(path) == ITEM_SIZE * len(wanted), 15)
    except Failure as e:
        raise Failure("%s (it has %d bytes)" % (e, list_size(path)))
    got = records(path)
    if got != wanted:
        raise Failure("the list file holds %r, not %r" % (got, wanted))


def quit_by_tray(desk, icon, prog):
    """The tray menu's quit: Renvo must end, with status 0."""
    click_icon(desk, icon, button=3)
    wait_for("the tray menu", lambda: visible_popup(desk), 10)
    desk.key("q")
    try:
        code = prog.proc.wait(15)
    except subprocess.TimeoutExpired:
        raise Failure("Renvo did not end after quit")
    if code != 0:
        raise Failure("Renvo ended with %d after quit" % code)


@contextlib.contextmanager
def renvo_on_tray(desk, renvo, home, args, name):
    """Renvo started on a fresh tray, for the body as (program, icon), then quit by the tray.
    On a failure its output and a picture; always the desktop closed and the home removed."""
    prog = None
    try:
        panel = start_tray(desk)
        prog = Renvo(desk, renvo, home)
        icon = tray_icon(desk, panel)
        prog.alive()
        yield prog, icon
        quit_by_tray(desk, icon, prog)
        print(name + ": ok")
    except Failure:
        if prog is not None:
            sys.stdout.write(prog.output())
        shot(desk, args, name + "-failure")
        raise
    finally:
        desk.close()
        if prog is not None:
            prog.out.close()
        shutil.rmtree(home.base, ignore_errors=True)


def script_main(run, folder_option="--shots", required=False):
    """The command line the desktop scripts share: --bin and a folder for pictures."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument(folder_option, required=required, default=None)
    ap.add_argument("--wm", choices=("openbox",), default=None, help="a window manager on the display")
    args = ap.parse_args()
    renvo = os.path.join(os.path.abspath(args.bin), "Renvo")
    try:
        run(args, renvo)
    except Failure as e:
        print("FAIL:", e)
        return 1
    return 0


def run(args, renvo):
    home = Home(0)
    list_file = os.path.join(home.prog, LIST_FILE)
    with open(list_file, "wb"):
        pass  # an empty list: no warning at start, no rows in the editor
    # Folders to add; the destination is the folder's parent name and its own.
    work = os.path.join(home.base, "data", "Work 1")
    notes = os.path.join(home.base, "data", "Notes")
    photos = os.path.join(home.base, "pics", "2024")
    for d in (work, notes, photos):
        os.makedirs(d)
    desk = Desktop(wm=args.wm)
    with renvo_on_tray(desk, renvo, home, args, "listedit") as (prog, icon):
        # The tray menu's edit-list entry ("L").
        click_icon(desk, icon, button=3)
        wait_for("the tray menu", lambda: visible_popup(desk), 10)
        desk.key("l")
        editor = desk.window_named(EDITOR, 20)
        add_folder(desk, editor, work)
        close_by_menu(desk, editor)
        prog.alive()
        expect_records(list_file, [(work, "data/Work 1")])

        # The icon's double click opens it again, on the saved row.
        click_icon(desk, icon, button=1, repeat=2)
        editor = desk.window_named(EDITOR, 20)
        add_folder(desk, editor, notes)
        add_folder(desk, editor, photos + "/")
        desk.focus(editor)
        if args.shots:
            time.sleep(0.5)  # the last row painted before the picture; nothing waits on it
        shot(desk, args, "listedit-rows")
        close_by_menu(desk, editor)
        expect_records(list_file, [(work, "data/Work 1"), (notes, "data/Notes"), (photos, "pics/2024")])


if __name__ == "__main__":
    sys.exit(script_main(run))
