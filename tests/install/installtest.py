#!/usr/bin/env python3
"""Installs a build tree into a temporary prefix and checks what a desktop finds there: the
programs in the program folder, the launchers in bin leading to them (also after the tree is
moved), the desktop entry, the icon in every size and the manual page. Needs no root; nothing
outside the temporary folder is written (the build's install manifest aside)."""

import argparse
import os
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import zlib

PROGRAM_DIR = "lib/renvo"
PROGRAMS = ["Renvo", "renvo-run", "Uninstrv"]
LAUNCHERS = {"renvo": "Renvo", "renvo-run": "renvo-run"}
PNG_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)
    return ok


def install(build, prefix):
    r = subprocess.run(["cmake", "--install", build, "--prefix", prefix],
                       capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("cmake --install failed:\n" + r.stdout + r.stderr)
    manifest = os.path.join(build, "install_manifest.txt")
    with open(manifest, encoding="utf-8") as f:
        installed = [line.strip() for line in f if line.strip()]
    outside = [p for p in installed if not p.startswith(prefix + os.sep)]
    check(not outside, "files installed outside the prefix: %s" % outside[:5])
    return installed


def check_programs(prefix):
    for name in PROGRAMS:
        path = os.path.join(prefix, PROGRAM_DIR, name)
        if not check(os.path.isfile(path) and not os.path.islink(path), "%s is a file" % path):
            continue
        mode = os.stat(path).st_mode
        check(mode & 0o111 == 0o111, "%s is executable by all (mode %o)" % (path, mode & 0o777))
        with open(path, "rb") as f:
            check(f.read(4) == b"\x7fELF", "%s is an ELF program" % path)


def check_launchers(prefix):
    for launcher, program in LAUNCHERS.items():
        path = os.path.join(prefix, "bin", launcher)
        target = os.path.join(prefix, PROGRAM_DIR, program)
        if not check(os.path.lexists(path), "%s exists" % path):
            continue
        check(os.path.realpath(path) == os.path.realpath(target), "%s leads to %s" % (path, target))
        if os.path.islink(path):
            # Relative, so the installed tree can be moved (a package root, DESTDIR).
            check(not os.path.isabs(os.readlink(path)), "%s is a relative link" % path)
        check(os.access(path, os.X_OK), "%s can be run" % path)


def run_launcher(prefix, scratch, args):
    # A private home: the run reads its hive from there and must not find the user's.
    home = os.path.join(scratch, "home")
    os.makedirs(home, exist_ok=True)
    env = {k: v for k, v in os.environ.items() if not k.startswith("RENVO_") and not k.startswith("XDG_")}
    env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"), LC_ALL="C.UTF-8")
    return subprocess.run([os.path.join(prefix, "bin", "renvo-run")] + args, env=env,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=60)


def check_runs(prefix, scratch):
    r = run_launcher(prefix, scratch, ["--help"])
    err = r.stderr.decode("utf-8", "replace")
    check(r.returncode == 2, "renvo-run --help exits 2 (got %d)" % r.returncode)
    check("usage: renvo-run [--complete]" in err, "renvo-run --help prints its usage: %r" % err)

    # Without a list, a run names the list file it looked for: that shows the program folder
    # the launcher led to (a writable one here, so the executable's own).
    r = run_launcher(prefix, scratch, [])
    err = r.stderr.decode("utf-8", "replace")
    folder = os.path.realpath(os.path.join(prefix, PROGRAM_DIR))
    check(r.returncode == 3, "a run without a list exits 3 (got %d: %r)" % (r.returncode, err))
    check(os.path.join(folder, "_rvffl2") in err, "the run looks in %s: %r" % (folder, err))


def check_desktop_entry(prefix):
    path = os.path.join(prefix, "share", "applications", "renvo.desktop")
    if not check(os.path.isfile(path), "%s exists" % path):
        return
    validate = shutil.which("desktop-file-validate")
    if check(validate is not None, "desktop-file-validate is installed (desktop-file-utils)"):
        r = subprocess.run([validate, path], capture_output=True, text=True)
        check(r.returncode == 0 and not r.stdout.strip(), "desktop-file-validate: %s" % (r.stdout + r.stderr))
    entry = {}
    with open(path, encoding="utf-8") as f:
        group = None
        for line in f:
            line = line.strip()
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]" and "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                entry[key] = value
    wanted = {"Type": "Application", "Name": "Renvo", "Name[ja]": "Renvo", "Icon": "renvo",
              "Terminal": "false", "StartupNotify": "false", "Categories": "Utility;Archiving;"}
    for key, value in wanted.items():
        check(entry.get(key) == value, "desktop entry %s=%s (got %r)" % (key, value, entry.get(key)))
    for key in ["GenericName", "GenericName[ja]", "Comment", "Comment[ja]"]:
        check(entry.get(key), "desktop entry has %s" % key)
    # Exec names a launcher that is installed, and the icon is in the theme under its name.
    command = entry.get("Exec", "").split()
    check(command and os.path.lexists(os.path.join(prefix, "bin", command[0])),
          "Exec=%s is an installed launcher" % entry.get("Exec"))


def png_size(path):
    """Width and height from the IHDR chunk; also checks that the picture is not empty."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None, "no PNG signature"
    length, kind = struct.unpack(">I4s", data[8:16])
    if kind != b"IHDR" or length != 13:
        return None, "first chunk is not IHDR"
    width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    pixels = zlib.decompress(idat)
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour, 0)
    if depth == 8 and len(pixels) != height * (1 + width * channels):
        return None, "pixel data of %d bytes for %dx%d" % (len(pixels), width, height)
    # Every filter of a transparent black picture gives zeros: some byte must differ.
    if colour in (4, 6) and not any(pixels[r * (1 + width * channels) + 1:(r + 1) * (1 + width * channels)].strip(b"\0")
                                    for r in range(height)):
        return None, "the picture is empty"
    return (width, height), None


def check_icons(prefix):
    theme = os.path.join(prefix, "share", "icons", "hicolor")
    svg = os.path.join(theme, "scalable", "apps", "renvo.svg")
    if check(os.path.isfile(svg), "%s exists" % svg):
        with open(svg, "rb") as a, open(os.path.join(SOURCE, "src", "shell", "icons", "app.svg"), "rb") as b:
            check(a.read() == b.read(), "renvo.svg is the tray's application icon")
    for n in PNG_SIZES:
        path = os.path.join(theme, "%dx%d" % (n, n), "apps", "renvo.png")
        if not check(os.path.isfile(path), "%s exists" % path):
            continue
        size, problem = png_size(path)
        check(problem is None, "%s: %s" % (path, problem))
        if size:
            check(size == (n, n), "%s is %dx%d (got %dx%d)" % (path, n, n, size[0], size[1]))


def check_manpage(prefix):
    base = os.path.join(prefix, "share", "man", "man1", "renvo-run.1")
    path = base if os.path.isfile(base) else base + ".gz"
    if not check(os.path.isfile(path), "%s exists" % base):
        return
    if path.endswith(".gz"):
        import gzip
        with gzip.open(path, "rt", encoding="utf-8") as f:
            text = f.read()
    else:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    check(any(line.startswith(".TH RENVO-RUN 1") for line in text.splitlines()), "the manual page has .TH")
    check("@" not in text.replace("\\@", ""), "no unreplaced @VARIABLE@ in the manual page")
    man = shutil.which("man")
    if man:
        r = subprocess.run([man, "--warnings", "-l", path], capture_output=True, text=True,
                           env=dict(os.environ, MANWIDTH="80", MANPAGER="cat", PAGER="cat", LC_ALL="C.UTF-8"))
        check(r.returncode == 0 and not r.stderr.strip(), "man -l renders it: %s" % r.stderr)
        for heading in ["NAME", "SYNOPSIS", "EXIT STATUS", "PROGRAM FOLDER"]:
            check(heading in r.stdout, "the manual page has %s" % heading)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--build", required=True, help="the build folder to install")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    scratch = tempfile.mkdtemp(prefix="renvo-install-")
    try:
        prefix = os.path.join(scratch, "prefix")
        install(build, prefix)
        check_programs(prefix)
        check_launchers(prefix)
        check_runs(prefix, scratch)
        check_desktop_entry(prefix)
        check_icons(prefix)
        check_manpage(prefix)
        # Moved elsewhere, as a package root is, the launchers still lead to the programs.
        moved = os.path.join(scratch, "moved")
        os.rename(prefix, moved)
        check_launchers(moved)
        check_runs(moved, scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("install layout OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
