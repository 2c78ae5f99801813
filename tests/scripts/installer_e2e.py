"""Runs the native installer as a script would, through its transcript.

usage: installer_e2e.py INSTALLER SCRATCH_DIR

Each case makes a prefix with its own user.reg, copies the installer into a
folder of its own, feeds keys on standard input and checks the transcript,
the files in the prefix and the exit code.
"""
import os
import shutil
import stat
import subprocess
import sys
import time

installer, scratch = sys.argv[1], sys.argv[2]
failures = []
passed = 0
TITLE = "Cvcustomscrzipbase"


def check(ok, what):
    global passed
    if ok:
        passed += 1
    else:
        failures.append(what)


def reg_text(program_path=None, root_data=None):
    lines = ["WINE REGISTRY Version 2", ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000", ""]
    if root_data is not None:
        lines += ["[Software\\\\Medisoft] 1733600000", '"Root Data Path"=' + root_data, ""]
    if program_path is not None:
        lines += ["[Software\\\\Medisoft\\\\Patient Accounting] 1733600000",
                  '"Program Path"=' + program_path, ""]
    return "\n".join(lines) + "\n"


class Case:
    def __init__(self, name, program_path='"C:\\\\Medisoft"', root_data='"C:\\\\Data"',
                 data_folder=True, damage_addon=False, real_wine=False):
        self.dir = os.path.join(scratch, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.prefix = os.path.join(self.dir, "prefix")
        self.drive_c = os.path.join(self.prefix, "drive_c")
        os.makedirs(self.drive_c)
        if data_folder:
            os.makedirs(os.path.join(self.drive_c, "Data", "CorvelleEMC"))
        with open(os.path.join(self.prefix, "user.reg"), "w", encoding="utf-8") as f:
            f.write(reg_text(program_path, root_data))
        self.program = os.path.join(self.dir, "setup", "CVCustomScrZipBase")
        os.makedirs(os.path.dirname(self.program))
        data = bytearray(open(installer, "rb").read())
        if damage_addon:
            # Flip a byte inside the add-on's compressed data: its CRC-32 fails.
            at = data.rfind(b"PK\x03\x04")
            while at >= 0 and data[at + 30:at + 43] != b"CVCopySCR.exe":
                at = data.rfind(b"PK\x03\x04", 0, at)
            data[at + 30 + 13 + 2000] ^= 0x55
        with open(self.program, "wb") as f:
            f.write(data)
        os.chmod(self.program, 0o755)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        if not real_wine:
            # A stand-in for wine that starts nothing: the launch succeeds.
            bindir = os.path.join(self.dir, "fakebin")
            os.makedirs(bindir)
            fake = os.path.join(bindir, "wine")
            with open(fake, "w") as f:
                f.write("#!/bin/sh\nexit 0\n")
            os.chmod(fake, 0o755)
            self.env["PATH"] = bindir + ":/usr/bin:/bin"

    def run(self, keys, env=None):
        p = subprocess.run([self.program], input="".join(k + "\n" for k in keys).encode(),
                           capture_output=True, cwd=self.dir, env=env or self.env, timeout=120)
        self.code = p.returncode
        self.lines = p.stdout.decode("utf-8").splitlines()
        return self.lines

    def path(self, *parts):
        return os.path.join(self.drive_c, *parts)


def expect_lines(case, expected, what):
    check(case.lines == expected, "%s: transcript\n  got      %r\n  expected %r"
          % (what, case.lines, expected))
    check(case.code == 0, "%s: exit code %d" % (what, case.code))


DBS = ["mwscd.adi", "mwscd.adt", "mwscr.adi", "mwscr.adt"]
MEMBERS = ["CVCopySCR.exe", "MWSCR.ADI", "MWSCR.ADT", "mwscd.adi", "mwscd.adt"]


def installed_dbs(case):
    folder = case.path("Data", "CorvelleEMC")
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def normal_install():
    have_wine = shutil.which("wine") is not None
    c = Case("normal", real_wine=have_wine)
    c.run(["Enter", "Enter"])
    expect_lines(c, ["[window] Tessaline Install", "[destination] C:\\Medisoft", "[focus] Install",
                     "[destination] C:\\MEDISOFT\\",
                     "[message] %s: The Version installed was 5.2.0.12" % TITLE], "normal install")
    temp = sorted(os.listdir(c.path("MEDISOFT", "bin", "temp")))
    check(temp == sorted(m for m in MEMBERS if m != "CVCopySCR.exe"), "bin\\temp holds %r" % temp)
    check(os.path.isfile(c.path("MEDISOFT", "bin", "CVCopyScr.EXE")), "add-on not in bin")
    check(installed_dbs(c) == DBS, "databases: %r" % installed_dbs(c))
    if have_wine:
        started = c.path("MEDISOFT", "bin", "started.txt")
        for _ in range(240):
            if os.path.exists(started) and os.path.getsize(started) > 0:
                break
            time.sleep(0.5)
        check(os.path.exists(started) and "5.2.0.12" in open(started).read(),
              "the add-on did not write started.txt")
        subprocess.run(["wineserver", "-k"], env=c.env, capture_output=True)


def replaces_earlier_addon():
    c = Case("reinstall")
    os.makedirs(c.path("Medisoft", "bin"))  # found again whatever the case
    with open(c.path("Medisoft", "bin", "cvcopyscr.exe"), "wb") as f:
        f.write(b"an older add-on")
    c.run(["Enter", "Enter"])
    check(c.code == 0, "reinstall: exit %d" % c.code)
    bin_files = os.listdir(c.path("Medisoft", "bin"))
    check(sorted(bin_files) == ["cvcopyscr.exe", "temp"] or sorted(bin_files) == ["CVCopyScr.EXE", "temp"],
          "reinstall: bin holds %r" % bin_files)
    added = [f for f in bin_files if f.lower() == "cvcopyscr.exe"]
    new = open(c.path("Medisoft", "bin", added[0]), "rb").read() if added else b""
    check(new[:2] == b"MZ", "the older add-on was not replaced")


def defaults_and_errors():
    c = Case("no-registry", program_path=None, root_data=None)
    c.run(["Esc"])
    expect_lines(c, ["[window] Tessaline Install", "[destination] C:\\Program Files\\Medisoft",
                     "[focus] Install"], "no registry data")
    check(not os.path.exists(c.path("Program Files")), "Esc installed something")

    c = Case("empty-path", program_path='""')
    c.run([])
    expect_lines(c, ["[window] Tessaline Install", "[destination] C:\\Program Files\\Medisoft",
                     "[focus] Install"], "empty Program Path")

    c = Case("numeric-path", program_path="dword:0000000a")
    c.run(["Enter", "Enter", "Enter"])
    expect_lines(c, ["[error] %s: Invalid data type for 'Program Path'" % TITLE,
                     "[window] Tessaline Install", "[destination] ", "[focus] Install",
                     "[error] %s: Unable to create directory." % TITLE], "numeric Program Path")

    c = Case("numeric-root", root_data="dword:00000001")
    c.run(["Enter", "Enter", "Enter", "Enter", "Enter"])  # Install twice
    version = "[message] %s: The Version installed was 5.2.0.12" % TITLE
    error = "[error] %s: Invalid data type for 'Root Data Path'" % TITLE
    expect_lines(c, ["[window] Tessaline Install", "[destination] C:\\Medisoft", "[focus] Install",
                     "[destination] C:\\MEDISOFT\\", version, error, version, error],
                 "numeric Root Data Path, Install twice")
    check(installed_dbs(c) == [], "numeric root: something copied")
    check(not os.path.exists(c.path("MEDISOFT", "bin", "CVCopyScr.EXE")), "numeric root: moved")

    c = Case("no-root", root_data=None)
    c.run(["Enter", "Enter"])
    check(c.code == 0 and installed_dbs(c) == [], "missing data root: %r" % installed_dbs(c))
    check(os.path.isfile(c.path("MEDISOFT", "bin", "CVCopyScr.EXE")), "missing data root: not moved")


def damaged_addon_and_failed_launch():
    c = Case("damaged", damage_addon=True)
    env = dict(c.env, PATH="/usr/bin:/bin")  # no wine either: the launch fails
    if shutil.which("wine", path=env["PATH"]):
        env["PATH"] = "/nonexistent"
    c.run(["Enter", "Enter", "Enter", "Enter"], env=env)
    unpacked = "C:\\MEDISOFT\\bin\\temp\\CVCopyScr.EXE"
    check(c.lines[:4] == ["[window] Tessaline Install", "[destination] C:\\Medisoft",
                          "[focus] Install", "[destination] C:\\MEDISOFT\\"], "damaged: %r" % c.lines)
    check(c.lines[4:6] == ["[message] %s: Unable to find %s" % (TITLE, unpacked),
                           "[message] %s: The Version installed was " % TITLE],
          "damaged add-on: %r" % c.lines[4:6])
    check(len(c.lines) == 7 and c.lines[6].startswith("[error] %s: " % TITLE)
          and c.lines[6].endswith("."), "failed launch: %r" % c.lines[6:])
    check(c.code == 0, "failed launch: exit %d" % c.code)
    temp = sorted(os.listdir(c.path("MEDISOFT", "bin", "temp")))
    check("CVCopySCR.exe" not in temp and len(temp) == 4, "damaged: bin\\temp holds %r" % temp)


def non_ascii_destination():
    c = Case("accents", program_path='"C:\\\\Donn\u00e9es"')
    c.run(["Enter", "Enter"])
    check(c.code == 0, "accents: exit %d" % c.code)
    check("[destination] C:\\DONN\u00e9ES\\" in c.lines, "accents: %r" % c.lines)
    check(os.path.isfile(c.path("DONN\u00e9ES", "bin", "CVCopyScr.EXE")),
          "accents: the add-on is not in C:\\DONN\u00e9ES\\bin")


for case in (normal_install, replaces_earlier_addon, defaults_and_errors,
             damaged_addon_and_failed_launch, non_ascii_destination):
    try:
        case()
    except Exception as error:  # a case that crashes is a failure, not the end
        failures.append("%s: %r" % (case.__name__, error))

for f in failures:
    print("FAIL:", f)
print("%d passed, %d failed" % (passed, len(failures)))
sys.exit(1 if failures else 0)
