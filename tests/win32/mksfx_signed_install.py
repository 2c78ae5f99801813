"""Installs a packed, signed setup under Wine, pressing its keys through windriver.

usage: mksfx_signed_install.py SETUP WINDRIVER VERSION ADDON

Runs in the WINEPREFIX of the caller on an Xvfb display of its own. Checks the
version dialog's text, that the add-on is in place with the databases, and that
the started add-on wrote the version it carries.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

setup, windriver, version, addon = sys.argv[1:5]
prefix = os.environ["WINEPREFIX"]
drive_c = os.path.join(prefix, "drive_c")
title = os.path.basename(setup).split(".")[0]


def wine(args, timeout=60):
    """Runs a Wine program to its end; its output goes through a file, since
    services that Wine starts on the way would hold a pipe open."""
    with tempfile.TemporaryFile() as out:
        code = subprocess.run(["wine"] + args, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode
        out.seek(0)
        return code, out.read().decode("ascii", "replace").strip()


def driver(*args):
    return wine([windriver] + list(args))


def wait_window(name):
    code, hwnd = driver("wait", name, "*", "30")
    if code != 0:
        sys.exit("FAIL: no window %r" % name)
    return hwnd


def find(*parts):
    path = drive_c
    for part in parts:
        names = [n for n in os.listdir(path) if n.lower() == part.lower()] if os.path.isdir(path) else []
        if not names:
            return None
        path = os.path.join(path, names[0])
    return path


display_read, display_write = os.pipe()
xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(display_write), "-screen", "0", "1024x768x24",
                         "-nolisten", "tcp"], pass_fds=[display_write], stderr=subprocess.DEVNULL)
os.close(display_write)
try:
    os.environ["DISPLAY"] = ":" + os.read(display_read, 16).decode().strip()
    wine(["reg", "add", "HKCU\\Software\\Medisoft", "/v", "Root Data Path", "/t", "REG_SZ", "/d",
          "C:\\Data", "/f"])
    wine(["reg", "add", "HKCU\\Software\\Medisoft\\Patient Accounting", "/v", "Program Path", "/t",
          "REG_SZ", "/d", "C:\\Medisoft", "/f"])
    for folder in ("Medisoft", "Data"):
        shutil.rmtree(os.path.join(drive_c, folder), ignore_errors=True)
    os.makedirs(os.path.join(drive_c, "Data", "CorvelleEMC"))
    run = subprocess.Popen(["wine", setup], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    try:
        form = wait_window("Tessaline Install")
        driver("input", form, "Return")
        dialog = wait_window(title)
        code, described = driver("describe", dialog)
        texts = [c["text"] for c in json.loads(described)["children"]] if code == 0 else []
        expected = "The Version installed was " + version
        if expected not in texts:
            sys.exit("FAIL: the version dialog shows %r, not %r" % (texts, expected))
        driver("input", dialog, "Return")
        if run.wait(timeout=60) != 0:
            sys.exit("FAIL: the installer ended with %d" % run.returncode)
    finally:
        if run.poll() is None:
            run.kill()
    installed = find("MEDISOFT", "bin", "CVCopyScr.EXE")
    if installed is None or open(installed, "rb").read() != open(addon, "rb").read():
        sys.exit("FAIL: the add-on is not in C:\\Medisoft\\bin")
    data = find("Data", "CorvelleEMC")
    if len(os.listdir(data)) != 4:
        sys.exit("FAIL: CorvelleEMC holds %r" % os.listdir(data))
    started = None
    for _ in range(60):
        started = find("MEDISOFT", "bin", "started.txt")
        if started and os.path.getsize(started) > 0:
            break
        time.sleep(0.5)
    if not started or version not in open(started).read():
        sys.exit("FAIL: the started add-on did not report %s" % version)
    print("signed setup: installed under Wine, reporting version", version)
    print("1 passed, 0 failed")
finally:
    xvfb.kill()
    xvfb.wait()
