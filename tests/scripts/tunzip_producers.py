#!/usr/bin/env python3
"""Archives made by the producers installed here (Info-ZIP zip, 7-Zip,
Python's zipfile, bsdtar), and one folder of 20,000 files made by `zip -r`,
extracted by tunzip and by Info-ZIP UnZip under two time zones, and compared
as a script sees them: exit codes, file sets, bytes, permission bits, file and
folder times.

usage: tunzip_producers.py TUNZIP SCRATCH_DIR CACHE_DIR

CACHE_DIR keeps the 20,000-file archive between runs (making it takes a
while). Every difference must be one of KNOWN, where tunzip differs on
purpose and says why; anything else fails the test.
"""
import os
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer_tools  # noqa: E402

ZONES = ("UTC", "Asia/Tokyo")
# The time every file and folder of the source tree carries: 2019-04-05
# 06:07:08 UTC, an even second so that the DOS stamp can hold it.
STAMP = 1554444428
FOLDER_STAMP = STAMP - 86400

NTFS = ("7-Zip records NTFS times in UTC, which tunzip uses as 7-Zip does; UnZip 6.00 on Unix "
        "reads only the extended timestamp and takes the DOS stamp as local time")
# (producer, what differs) -> why.
KNOWN = {
    ("7zip", "time"): NTFS,
}

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def make_source(folder):
    """A small tree: nested folders, an empty one, an executable, a name
    outside ASCII; every entry stamped, folders last."""
    files = {
        "top/readme.txt": b"read me\n" * 40,
        "top/bin/run.sh": b"#!/bin/sh\necho run\n",
        "top/deep/er/still/data.bin": bytes(range(256)) * 16,
        "top/caf\u00e9.txt": b"caf\xc3\xa9\n",
    }
    for rel, data in files.items():
        path = os.path.join(folder, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (STAMP, STAMP))
    os.chmod(os.path.join(folder, "top/bin/run.sh"), 0o755)
    os.makedirs(os.path.join(folder, "top/empty"))
    for root, dirs, _ in os.walk(folder, topdown=False):
        for d in dirs:
            os.utime(os.path.join(root, d), (FOLDER_STAMP, FOLDER_STAMP))


def make_archives(source, folder):
    """producer -> archive made of source/top."""
    archives = {}

    def made(label, command, **kw):
        path = os.path.join(folder, label + ".zip")
        r = peer_tools.run(command(path), cwd=source, env={"TZ": "UTC"}, **kw)
        check(r.code == 0, "%s could not make its archive: %r" % (label, r))
        archives[label] = path

    made("zip", lambda p: ["zip", "-q", "-r", p, "top"])
    made("7zip", lambda p: ["7zz", "a", "-tzip", "-bd", p, "top"])
    made("bsdtar", lambda p: ["bsdtar", "--format", "zip", "-cf", p, "top"])
    python = os.path.join(folder, "python.zip")
    with zipfile.ZipFile(python, "w", zipfile.ZIP_DEFLATED) as z:
        # The top folder too: a folder without an entry gets the time of the
        # run, which differs between two runs.
        z.write(os.path.join(source, "top"), "top")
        for root, dirs, files in os.walk(os.path.join(source, "top")):
            for name in sorted(dirs + files):
                path = os.path.join(root, name)
                z.write(path, os.path.relpath(path, source))
    archives["python"] = python
    return archives


def kind_of(line):
    return "time" if " time " in line else "files"


def compare(label, archive, scratch, zone):
    env = {"TZ": zone}
    ours_dir = peer_tools.fresh(os.path.join(scratch, "tunzip"))
    theirs_dir = peer_tools.fresh(os.path.join(scratch, "unzip"))
    ours = peer_tools.run([TUNZIP, "-o", "-qq", archive, "-d", ours_dir], env=env)
    theirs = peer_tools.unzip_extract(archive, theirs_dir, env=env)
    found = []
    if ours.code != theirs.code:
        found.append(("exit", "exit %d, UnZip %d (%s)" % (ours.code, theirs.code, ours.err[:200])))
    for line in peer_tools.differences(peer_tools.snapshot(ours_dir),
                                       peer_tools.snapshot(theirs_dir)):
        found.append((kind_of(line), line))
    agreed = True
    for what, detail in found:
        reason = KNOWN.get((label, what))
        if reason:
            print("  known  %s (TZ=%s): %s (%s)" % (label, zone, detail, reason))
        else:
            agreed = False
            failures.append("%s (TZ=%s): %s" % (label, zone, detail))
    return agreed and not found


def main():
    global TUNZIP
    TUNZIP, scratch, cache = (os.path.abspath(a) for a in sys.argv[1:4])
    peer_tools.require("zip", "unzip", "7zz", "bsdtar")
    peer_tools.fresh(scratch)
    os.makedirs(cache, exist_ok=True)
    source = os.path.join(scratch, "source")
    os.makedirs(source)
    make_source(source)
    archives = make_archives(source, peer_tools.fresh(os.path.join(scratch, "archives")))
    archives["zip -r of 20,000 files"] = peer_tools.many_files_archive(cache)
    runs = agreed = 0
    for zone in ZONES:
        for label, archive in archives.items():
            runs += 1
            agreed += compare(label, archive, os.path.join(scratch, "work"), zone)
    for failure in failures:
        print("FAIL:", failure)
    print("%d of %d extractions agree with UnZip in everything; %d unexplained differences"
          % (agreed, runs, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
