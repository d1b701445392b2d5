"""The program's own files as the test and benchmark scripts write them: the item list and the
settings hive."""
import os

LIST_FILE = "_rvffl2"
ITEM_SIZE = 780  # one record of the item list, no header
HIVE_KEY = "HKEY_CURRENT_USER\\Software\\Tovan\\Renvo"


def short_string(text):
    """A length byte and up to 255 bytes (a str as UTF-8), padded with zeros."""
    b = (text.encode() if isinstance(text, str) else text)[:255]
    return bytes([len(b)]) + b + bytes(255 - len(b))


def list_record(address, dest="", kind=0, subfolders=1, masks="*.*", option=0, run=1, every_run=1):
    """One item of the list; kind 0 is a folder item, 1 a file item."""
    rec = (bytes([run, kind]) + short_string(address) + bytes([subfolders]) + short_string(masks) +
           bytes([option]) + short_string(dest) + bytes(4) + bytes([every_run]) + bytes(3))
    assert len(rec) == ITEM_SIZE
    return rec


def hive_path(config_home):
    """The hive below XDG_CONFIG_HOME."""
    return os.path.join(config_home, "Tovan", "user.reg")


def reg_text(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def write_hive(path, values):
    """A hive holding the settings key alone; values as (name, int) for a dword, (name, str) for text."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write("REGEDIT4\n\n[%s]\n" % HIVE_KEY)
        for name, v in values:
            f.write('"%s"=%s\n' % (name, "dword:%08x" % v if isinstance(v, int) else reg_text(v)))


def read_bytes(path):
    """A file's content, None when there is none."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None
