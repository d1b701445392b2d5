#!/usr/bin/env python3
"""The README's screenshots, taken from the built Renvo on a virtual desktop.

  python3 tests/desktop/screens.py --bin build/bin --out docs/screenshots

A home folder of its own (Documents, Pictures, Music, Projects), a program folder and a hive;
the list editor gets its four rows by Ctrl+O like a user adds them, the tray menu runs a
standard and then a complete mirroring, and each window is captured by its own id:
tray-menu.png (the tray and its menu), list-editor.png (the rows, the first selected),
settings.png (the mirroring page, automatic runs ticked) and restore.png (the item dialog's
restore page after a search). Not a test: it checks only what it needs to go on."""

import fcntl
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "pylib")]
from desktop import Desktop, Failure, wait_for  # noqa: E402
from listedit import EDITOR, Renvo, add_folder, click_icon, close_by_menu, expect_records, script_main  # noqa: E402
from settings import CARET, SETTINGS, Grabs, still_picture, wait_changed  # noqa: E402
from renvofiles import LIST_FILE, hive_path, write_hive  # noqa: E402
from traytest import start_tray, tray_icon, visible_popup  # noqa: E402

SCREEN = (1024, 768)  # the virtual display's size

# 種別, 実行, 対象アドレス, サブフォルダ検索, マスク, 実行条件, ミラーリング先
EDITOR_COLUMNS = (70, 80, 280, 110, 50, 70, 140)

# Sample files: folder -> {name: text}.
SAMPLES = {
    "Documents": {"報告書 2024.txt": "四半期の報告\n", "見積書.txt": "見積もり\n", "notes.md": "# Notes\n"},
    "Pictures": {"holiday.png": "not really a picture\n", "family.jpg": "not really a picture\n"},
    "Music": {"playlist.m3u": "#EXTM3U\n"},
    "Projects": {"README.md": "# Website\n", "index.html": "<html></html>\n"},
}


class Setup:
    """A home folder, a program folder and a hive of their own, under one temporary folder."""

    def __init__(self):
        self.base = tempfile.mkdtemp(prefix="renvo-")
        self.home = os.path.join(self.base, "alice")
        self.prog = os.path.join(self.base, "prog")
        self.cfg = os.path.join(self.home, ".config")
        self.top = os.path.join(self.home, "Backup")
        self.hive = hive_path(self.cfg)
        for d in (self.prog, os.path.dirname(self.hive)):
            os.makedirs(d)
        self.folders = []
        for folder, files in SAMPLES.items():
            path = os.path.join(self.home, folder)
            os.makedirs(path)
            self.folders.append(path)
            for name, text in files.items():
                with open(os.path.join(path, name), "w", encoding="utf-8") as f:
                    f.write(text)
        with open(os.path.join(self.prog, LIST_FILE), "wb"):
            pass  # an empty list: no warning at start, no rows in the editor
        # The editor's place, size and column widths (kept by its saves): the addresses whole.
        layout = [("ListTop", 0), ("ListHeight", 300), ("ListWidth", 820), ("ListLeft", 0)]
        layout += [("ListColumn%d" % c, w) for c, w in enumerate(EDITOR_COLUMNS)]
        write_hive(self.hive, [("MirTopFolder", self.top), ("Mirroring", 0), ("EveryTimes", 5),
                               ("DoneStandard", 0)] + layout)

    def env(self):
        return {"HOME": self.home, "RENVO_HOME": self.prog, "XDG_CONFIG_HOME": self.cfg,
                "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
                "XDG_CACHE_HOME": os.path.join(self.home, ".cache"), "XDG_RUNTIME_DIR": self.base,
                "ASAN_OPTIONS": "detect_leaks=0"}

    def dest(self, folder):
        """Where the mirror keeps a folder item: its parent's name and its own, below a generation."""
        return os.path.join(os.path.basename(os.path.dirname(folder)), os.path.basename(folder))

    def mirrored(self, generation):
        """Whether every sample file has its copy in that generation."""
        return all(os.path.isfile(os.path.join(self.top, generation, self.dest(folder), name))
                   for folder, files in zip(self.folders, SAMPLES.values()) for name in files)

    def run_idle(self):
        """Whether no run holds the program folder (the run lock is free)."""
        try:
            fd = os.open(os.path.join(self.prog, "_rvlock"), os.O_RDONLY)
        except OSError:
            return False
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            fcntl.flock(fd, fcntl.LOCK_UN)
            return True
        except OSError:
            return False
        finally:
            os.close(fd)


def save_png(desk, source, out, crop=None):
    """A 256-colour copy of `source` (cut to `crop`, (x, y, w, h), when given) at `out`."""
    argv = ["convert", source]
    if crop:
        argv += ["-crop", "%dx%d+%d+%d" % (crop[2], crop[3], crop[0], crop[1]), "+repage"]
    desk.tool(*(argv + ["-strip", "-colors", "256", "PNG8:" + out]))
    print("screens: wrote", out)


def tray_menu(desk, grabs, icon, panel, setup, out):
    """The icon's right-click menu, with the tray above it: a cut of the root window."""
    menu = open_tray_menu(desk, icon)
    still_picture(grabs, menu)
    root = os.path.join(setup.base, "root.png")
    desk.tool("import", "-window", "root", root)
    boxes = [desk.geometry(w)[:4] for w in (panel, menu)]
    left = max(0, min(b[0] for b in boxes) - 24)
    top = max(0, min(b[1] for b in boxes) - 8)
    right = max(b[0] + b[2] for b in boxes) + 8
    bottom = max(b[1] + b[3] for b in boxes) + 8
    width, height = SCREEN
    save_png(desk, root, os.path.join(out, "tray-menu.png"),
             (left, top, min(right, width) - left, min(bottom, height) - top))
    desk.key("Escape")
    wait_for("the tray menu to close", lambda: not visible_popup(desk), 10)


def open_tray_menu(desk, icon):
    """The menu by a right click on the icon, clicked again when a click right after a menu
    closed is lost. The click is at the icon's lower edge: the menu opens below the pointer
    and leaves the icon in sight."""
    height = desk.geometry(icon)[3]
    for _ in range(3):
        click_icon(desk, icon, button=3, y=max(0, height - 2))
        try:
            return wait_for("the tray menu", lambda: visible_popup(desk), 4)
        except Failure:
            pass
    raise Failure("the tray menu does not open")


def tray_command(desk, icon, key):
    open_tray_menu(desk, icon)
    desk.key(key)


def mirror_twice(desk, icon, setup):
    """A standard run, then a complete one (History1), both from the tray menu."""
    tray_command(desk, icon, "e")
    wait_for("the standard run's copies", lambda: setup.mirrored("Latest") and setup.run_idle(), 60)
    tray_command(desk, icon, "c")
    wait_for("the complete run's history", lambda: setup.mirrored("History1") and setup.run_idle(), 60)


def list_editor(desk, grabs, icon, setup, out):
    """The editor opened from the tray menu on the saved rows, the first selected; left open."""
    tray_command(desk, icon, "l")
    editor = desk.window_named(EDITOR, 20)
    desk.focus(editor)
    # The editor opens with its first row selected.
    save_png(desk, still_picture(grabs, editor), os.path.join(out, "list-editor.png"))
    return editor


def open_menu(desk):
    """A visible override-redirect window of Renvo (a menu, however short)."""
    out = desk.tool("xdotool", "search", "--onlyvisible", "--class", "Renvo", check=False)
    for w in (int(x) for x in out.split()):
        _, _, width, height, viewable = desk.geometry(w)
        if viewable and width > 32 and height > 16 and "Override Redirect State: yes" in desk.tool(
                "xwininfo", "-id", str(w), check=False):
            return w
    return None


def item_windows(desk):
    out = desk.tool("xdotool", "search", "--onlyvisible", "--name", "^アドレス .* の編集$", check=False)
    return [int(w) for w in out.split()]


def restore_page(desk, grabs, editor, out):
    """復元(R) > 復元(R)... on the selected row, a search, the first candidate selected."""
    desk.key("alt+r", window=editor)
    wait_for("the restore menu", lambda: open_menu(desk), 10)
    desk.key("r")
    item = wait_for("the item dialog", lambda: item_windows(desk), 20)[0]
    desk.focus(item)
    before = still_picture(grabs, item, CARET)
    desk.key("alt+s", window=item)
    wait_changed(grabs, item, before, "the search's candidates")
    before = still_picture(grabs, item, CARET)
    desk.key("alt+l", window=item)
    desk.key("Down")
    wait_changed(grabs, item, before, "a selected candidate")
    save_png(desk, still_picture(grabs, item), os.path.join(out, "restore.png"))
    desk.key("Escape", window=item)
    wait_for("the item dialog to close", lambda: not item_windows(desk), 15)


def settings_dialog(desk, grabs, icon, out):
    """The settings dialog from the tray menu, on its mirroring page, automatic runs ticked
    (not kept: Escape closes it)."""
    tray_command(desk, icon, "v")
    dialog = desk.window_named(SETTINGS, 20)
    desk.focus(dialog)
    before = still_picture(grabs, dialog, CARET)
    desk.key("alt+e", window=dialog)
    wait_changed(grabs, dialog, before, "the automatic-run box to tick")
    save_png(desk, still_picture(grabs, dialog, CARET), os.path.join(out, "settings.png"))
    desk.key("Escape", window=dialog)
    wait_for("the settings dialog to close", lambda: not desk.windows_named(SETTINGS), 15)


def run(args, renvo):
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    setup = Setup()
    grabs = Grabs(None, os.path.join(setup.base, "grabs"))
    os.makedirs(grabs.folder)
    desk = Desktop(*SCREEN)
    grabs.desk = desk
    prog = None
    try:
        panel = start_tray(desk)
        prog = Renvo(desk, renvo, setup)
        icon = tray_icon(desk, panel)
        prog.alive()

        tray_menu(desk, grabs, icon, panel, setup, out)

        # The rows, added as a user adds them; closing the editor saves the list.
        tray_command(desk, icon, "l")
        editor = desk.window_named(EDITOR, 20)
        for folder in setup.folders:
            add_folder(desk, editor, folder)
        close_by_menu(desk, editor)
        expect_records(os.path.join(setup.prog, LIST_FILE), [(f, setup.dest(f)) for f in setup.folders])

        mirror_twice(desk, icon, setup)
        prog.alive()
        editor = list_editor(desk, grabs, icon, setup, out)
        restore_page(desk, grabs, editor, out)
        close_by_menu(desk, editor)
        settings_dialog(desk, grabs, icon, out)
        prog.alive()

        tray_command(desk, icon, "q")
        try:
            prog.proc.wait(15)
        except subprocess.TimeoutExpired:
            raise Failure("Renvo did not end after quit")
    except Failure:
        if prog is not None:
            sys.stdout.write(prog.output())
        desk.screenshot(os.path.join(setup.base, "failure.png"))
        if os.path.exists(os.path.join(setup.base, "failure.png")):
            shutil.copy(os.path.join(setup.base, "failure.png"), os.path.join(out, "failure.png"))
        raise
    finally:
        desk.close()
        if prog is not None:
            prog.out.close()
        shutil.rmtree(setup.base, ignore_errors=True)



if __name__ == "__main__":
    sys.exit(script_main(run, "--out", required=True))
