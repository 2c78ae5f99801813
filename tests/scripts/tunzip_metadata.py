"""What tunzip restores beside the bytes, on Linux: permission bits, symbolic
links (never one that leads outside the target folder, and never written
through), file and folder times.

usage: tunzip_metadata.py TUNZIP SCRATCH_DIR
"""
import calendar
import os
import stat
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer_tools  # noqa: E402

tunzip, scratch = sys.argv[1:3]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def unix_member(z, name, data, mode, date_time=(2020, 5, 6, 7, 8, 10)):
    info = zipfile.ZipInfo(name, date_time)
    info.create_system = 3
    info.external_attr = mode << 16
    z.writestr(info, data)


def extract(archive, target, *options, env=None):
    return peer_tools.run([tunzip, *options, archive, "-d", target], env=env)


def mode_of(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


def test_modes():
    archive = os.path.join(scratch, "modes.zip")
    with zipfile.ZipFile(archive, "w") as z:
        unix_member(z, "run.sh", b"#!/bin/sh\n", 0o100755)
        unix_member(z, "private", b"secret\n", 0o100600)
        unix_member(z, "readonly", b"keep\n", 0o100444)
        unix_member(z, "setuid", b"risky\n", 0o104755)
        unix_member(z, "shared/", b"", 0o040750)
    old = os.umask(0o022)
    try:
        for options, setuid in (((), 0o755), (("-K",), 0o4755)):
            target = peer_tools.fresh(os.path.join(scratch, "modes" + "".join(options)))
            r = extract(archive, target, *options)
            check(r.code == 0, "modes %s: %r" % (options, r))
            for name, want in (("run.sh", 0o755), ("private", 0o600), ("readonly", 0o444),
                               ("setuid", setuid), ("shared", 0o750)):
                got = mode_of(os.path.join(target, name))
                check(got == want, "modes %s: %s is %o, expected %o" % (options, name, got, want))
            peer_tools.make_writable(target)
    finally:
        os.umask(old)


def test_links():
    archive = os.path.join(scratch, "links.zip")
    with zipfile.ZipFile(archive, "w") as z:
        unix_member(z, "data/target.txt", b"the target\n", 0o100644)
        unix_member(z, "here", b"data/target.txt", 0o120777)
        unix_member(z, "data/up", b"../data/target.txt", 0o120777)
        unix_member(z, "absolute", b"/etc/passwd", 0o120777)
        unix_member(z, "escape", b"../../outside", 0o120777)
        # A link that stays inside, then a member through it: refused all
        # the same, since nothing is written through a link.
        unix_member(z, "into", b"data", 0o120777)
        unix_member(z, "into/evil.txt", b"through a link\n", 0o100644)
        # A link's target is shown as the bytes it holds, whether the link
        # is made or refused.
        unix_member(z, "données", "data/target.txt".encode(), 0o120777)
        unix_member(z, "vers-données", "données".encode(), 0o120777)
        unix_member(z, "ailleurs", "../café".encode(), 0o120777)
    target = peer_tools.fresh(os.path.join(scratch, "links"))
    r = extract(archive, target)
    check(r.code != 0, "links: a refused link must show in the exit code: %r" % r)
    check(os.readlink(os.path.join(target, "here")) == "data/target.txt", "links: here")
    check(os.readlink(os.path.join(target, "data/up")) == "../data/target.txt", "links: up")
    with open(os.path.join(target, "here"), "rb") as f:
        check(f.read() == b"the target\n", "links: here does not reach its target")
    for refused in ("absolute", "escape"):
        check(not os.path.lexists(os.path.join(target, refused)), "links: %s was made" % refused)
        check(refused in r.err and "outside" in r.err, "links: %s not said: %r" % (refused, r))
    check(not os.path.exists(os.path.join(target, "data", "evil.txt")),
          "links: a member was written through the link into")
    check("into/evil.txt" in r.err, "links: into/evil.txt not reported: %r" % r)
    check(os.readlink(os.path.join(target, "vers-données")) == "données", "links: vers-données")
    check("vers-données -> données\n" in r.out, "links: a UTF-8 target not shown: %r" % r)
    check("symbolic link to ../café refused" in r.err,
          "links: a refused UTF-8 target not shown: %r" % r)


def test_existing_links_are_not_followed():
    outside = peer_tools.fresh(os.path.join(scratch, "outside"))
    victim = os.path.join(outside, "victim.txt")
    with open(victim, "wb") as f:
        f.write(b"untouched\n")
    target = peer_tools.fresh(os.path.join(scratch, "planted"))
    os.symlink(outside, os.path.join(target, "folder"))
    os.symlink(victim, os.path.join(target, "file.txt"))
    archive = os.path.join(scratch, "planted.zip")
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("folder/victim.txt", b"overwritten\n")
        z.writestr("file.txt", b"replaces the link\n")
    r = extract(archive, target, "-o")
    with open(victim, "rb") as f:
        check(f.read() == b"untouched\n", "planted links: the file outside was written")
    check(r.code != 0 and "folder/victim.txt" in r.err, "planted links: %r" % r)
    path = os.path.join(target, "file.txt")
    check(not os.path.islink(path) and open(path, "rb").read() == b"replaces the link\n",
          "planted links: file.txt did not replace the link")


def links_in(folder):
    found = []
    for root, dirs, files in os.walk(folder):
        found += [os.path.join(root, n) for n in dirs + files if os.path.islink(os.path.join(root, n))]
    return found


def test_link_chains():
    # Each link is resolved against the links already there, made by this
    # run or not: none may lead out, through a chain or through a link made
    # later where an earlier link passes.
    outside = peer_tools.fresh(os.path.join(scratch, "chain-outside"))
    deep = "/".join("d%d" % i for i in range(24))
    to_root = "/".join([".."] * 24)
    through_up = deep + "/up/" + "/".join([".."] * 20) + "/etc/passwd"
    link = 0o120777
    cases = [
        # (label, members, refused, made)
        ("up-first", [(deep + "/up", to_root, link), ("passwd", through_up, link)],
         ["passwd"], [deep + "/up"]),
        ("passwd-first", [("passwd", through_up, link), (deep + "/up", to_root, link)],
         [deep + "/up"], ["passwd"]),
        ("dot-later", [("x", "sub/..", link), ("sub", ".", link)], ["sub"], ["x"]),
        ("link-in-link", [("data/t", "t\n", 0o100644), ("into", "data", link),
                          ("into/x", "../data/t", link)], ["into/x"], ["into"]),
        ("member-first", [("dir/f.txt", "f\n", 0o100644), ("dir", "data", link)], ["dir"], []),
        ("planted", [("x", "planted", link), ("y", "planted/passwd", link)], ["x", "y"], []),
        ("loops", [("a", "b", link), ("b", "a", link), ("self", "self", link)], [],
         ["a", "b", "self"]),
        ("library", [("lib.so.1.2", "elf\n", 0o100644), ("lib.so", "lib.so.1", link),
                     ("lib.so.1", "lib.so.1.2", link)], [], ["lib.so", "lib.so.1"]),
    ]
    for label, members, refused, made in cases:
        archive = os.path.join(scratch, "chain-%s.zip" % label)
        with zipfile.ZipFile(archive, "w") as z:
            for name, data, mode in members:
                unix_member(z, name, data.encode(), mode)
        target = peer_tools.fresh(os.path.join(scratch, "chain-" + label))
        os.symlink(outside, os.path.join(target, "planted"))
        # Twice: the second run meets the first run's links on disk.
        for options in ((), ("-o",)):
            r = extract(archive, target, *options)
            what = "chains %s %s: %r" % (label, options, r)
            check(r.code in ((2, 50) if refused else (0,)), what)
            for name in refused:
                check("tunzip: %s: " % name in r.err, what)
                if name != "dir":
                    check(not os.path.lexists(os.path.join(target, name)), what + ": %s made" % name)
            for name in made:
                check(os.path.islink(os.path.join(target, name)), what + ": %s not made" % name)
            for path in links_in(target):
                if os.path.basename(path) == "planted":
                    continue
                real = os.path.realpath(path)
                check(real == os.path.realpath(target) or
                      real.startswith(os.path.realpath(target) + os.sep),
                      what + ": %s leads to %s" % (path, real))
        if label == "library":
            with open(os.path.join(target, "lib.so"), "rb") as f:
                check(f.read() == b"elf\n", "chains: lib.so does not reach the library")
        check(os.listdir(outside) == [], "chains %s: written outside" % label)


def test_times():
    # A DOS stamp alone is the wall-clock time where the archive is read;
    # folders get theirs after their contents are written.
    archive = os.path.join(scratch, "dos-time.zip")
    stamps = {"top/": (1999, 12, 31, 23, 59, 58), "top/inner/": (2000, 1, 2, 3, 4, 6),
              "top/inner/f.txt": (2010, 7, 8, 9, 10, 12)}
    with zipfile.ZipFile(archive, "w") as z:
        for name, stamp in stamps.items():
            z.writestr(zipfile.ZipInfo(name, stamp), b"" if name.endswith("/") else b"dos\n")
    target = peer_tools.fresh(os.path.join(scratch, "dos-time"))
    r = extract(archive, target, env={"TZ": "Asia/Tokyo"})
    check(r.code == 0, "dos time: %r" % r)
    os.environ["TZ"] = "Asia/Tokyo"
    time.tzset()
    for name, stamp in stamps.items():
        want = time.mktime(stamp + (0, 0, -1))
        got = os.stat(os.path.join(target, name)).st_mtime
        check(got == want, "dos time: %s at %d, expected %d" % (name, got, want))


def test_extended_times():
    # Info-ZIP zip records the UTC time (extended timestamp) beside the DOS
    # stamp: it must come back whatever the time zone of either side.
    source = peer_tools.fresh(os.path.join(scratch, "times-source"))
    os.makedirs(os.path.join(source, "top", "inner"))
    file_time = calendar.timegm((2001, 2, 3, 4, 5, 6))
    folder_time = calendar.timegm((1999, 12, 31, 23, 59, 58))
    inner = os.path.join(source, "top", "inner", "f.txt")
    with open(inner, "w") as f:
        f.write("timed\n")
    os.utime(inner, (file_time, file_time))
    for folder in ("top/inner", "top"):
        os.utime(os.path.join(source, folder), (folder_time, folder_time))
    archive = os.path.join(scratch, "times.zip")
    if os.path.exists(archive):
        os.remove(archive)
    r = peer_tools.run(["zip", "-q", "-r", archive, "top"], cwd=source, env={"TZ": "America/New_York"})
    check(r.code == 0, "zip: %r" % r)
    target = peer_tools.fresh(os.path.join(scratch, "times"))
    r = extract(archive, target, env={"TZ": "Asia/Tokyo"})
    check(r.code == 0, "times: %r" % r)
    got = os.stat(os.path.join(target, "top", "inner", "f.txt")).st_mtime
    check(got == file_time, "times: file at %d, expected %d" % (got, file_time))
    for folder in ("top", "top/inner"):
        got = os.stat(os.path.join(target, folder)).st_mtime
        check(got == folder_time, "times: folder %s at %d, expected %d" % (folder, got, folder_time))


os.makedirs(scratch, exist_ok=True)
test_modes()
test_links()
test_existing_links_are_not_followed()
test_link_chains()
test_times()
test_extended_times()
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
