#!/usr/bin/env python3
"""Writes small valid inputs for each fuzz target into OUT/<target>/ (the seed corpora).

Usage: make_seeds.py OUT
"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "pylib"))
from renvofiles import list_record  # noqa: E402

TABLE_SIZE = 257
END_TEXT = b"dummy but needed"


def table_record(kind, text):
    return bytes([kind, len(text)]) + text + b"\0" * (TABLE_SIZE - 2 - len(text))


def block(address, files):
    return table_record(1, address) + b"".join(table_record(0, f) for f in files) + table_record(1, END_TEXT)


def list_seeds():
    yield "one-folder", list_record(b"/home/me/docs")
    yield "folder-and-file", list_record(b"/home/me/docs", dest=b"docs", option=1) + list_record(
        b"/home/me/notes.txt", kind=1, masks=b"-", subfolders=0)
    yield "odd-flags", list_record(b"/srv/data", run=2, subfolders=9, option=7, every_run=0, masks=b"*.txt *.doc")
    yield "torn-tail", list_record(b"/home/me/docs", option=3) + b"\x01\x00\x05/home"
    yield "empty", b""


def table_seeds():
    yield "two-blocks", block(b"/home/me/docs", [b"/home/me/docs/a.txt", b"/home/me/docs/sub/b.txt"]) + block(
        b"/srv/data", [])
    yield "cut-off", block(b"/home/me/docs", [b"/home/me/docs/a.txt"])[:-TABLE_SIZE]
    yield "torn-record", block(b"/a", [b"/a/x"]) + table_record(1, b"/b")[:100]
    yield "foreign-type", block(b"/a", [b"/a/x"]) + table_record(7, b"/b") + block(b"/c", [b"/c/y"])
    yield "empty", b""


def update_seeds():
    yield "sorted", b"a.txt\r\ndocs/b.txt\r\nsub/c.dat\r\n"
    yield "lf-unsorted-duplicates", b"z.txt\nA.txt\na.txt\n\nz.txt\r\nlast-without-end"
    yield "empty", b""


def hive_seeds():
    yield "settings", (
        b"REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tovan\\Renvo]\n"
        b"\"MirTopFolder\"=\"/home/me/Mirrored Files\"\n\"Mirroring\"=dword:00000001\n"
        b"\"Interval\"=hex:55,55,55,55,55,55,95,3f\n\"FolderOption\"=hex:01\n\n")
    hex_bytes = ["%02x" % (i * 7 % 256) for i in range(60)]
    first, rest = ",".join(hex_bytes[:20]).encode(), ",".join(hex_bytes[20:]).encode()
    yield "wrapped-and-typed", (
        b"\xef\xbb\xbfREGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n@=\"root \\\"default\\\" \\\\ value\"\r\n"
        b"[HKEY_CURRENT_USER\\Software\\A]\r\n\"Path\"=hex(2):25,00,48,00,00\r\n"
        b"\"Odd\"=hex(7):61,00,00\r\n\"Long\"=hex:" + first + b",\\\r\n  " + rest + b"\r\n"
        b"; a comment\r\n[hkey_current_user\\software\\a\\Sub Key]\r\n\"Empty\"=hex:\r\n")
    yield "no-header", b"[HKEY_CURRENT_USER\\Software]\n"


def run_seeds():
    rng = random.Random(20260105)
    for n in (16, 64, 256, 1024):
        yield "random-%d" % n, bytes(rng.randrange(256) for _ in range(n))
    yield "zeros", b"\0" * 128
    yield "ones", b"\xff" * 128


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    targets = {
        "fuzz_listfile": list_seeds,
        "fuzz_table": table_seeds,
        "fuzz_updatelist": update_seeds,
        "fuzz_hive": hive_seeds,
        "fuzz_run": run_seeds,
    }
    for target, seeds in targets.items():
        folder = os.path.join(out, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
