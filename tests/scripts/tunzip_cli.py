#!/usr/bin/env python3
"""tunzip's command line: options, masks, names, messages and exit codes.

usage: tunzip_cli.py TUNZIP SCRATCH_DIR
"""
import filecmp
import json
import os
import shutil
import pty
import random
import re
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def zip_bytes(members, total=None, prefix=b""):
    """members: (raw name bytes, data bytes, flags[, extra field]). Stored members."""
    out = bytearray(prefix)
    central = bytearray()
    for name, data, flags, *rest in members:
        extra = rest[0] if rest else b""
        offset = len(out)
        crc = zlib.crc32(data)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, 0, 0x6000, 0x5A8E, crc,
                           len(data), len(data), len(name), len(extra)) + name + extra + data
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, 0, 0x6000,
                               0x5A8E, crc, len(data), len(data), len(name), len(extra), 0, 0, 0,
                               0x20, offset) + name + extra
    count = len(members) if total is None else total
    directory = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), directory, 0)
    return bytes(out)


def run(tunzip, *args, cwd=None):
    result = subprocess.run([tunzip, *args], capture_output=True, timeout=60, cwd=cwd)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")


def run_on_terminal(tunzip, *args, cwd):
    """Exit code and everything written, with a terminal as the standard
    output and error."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execv(tunzip, [tunzip, *args])
    shown = bytearray()
    while True:
        try:
            chunk = os.read(fd, 65536)
        except OSError:  # the terminal closes when tunzip ends
            break
        if not chunk:
            break
        shown += chunk
    os.close(fd)
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status), shown.decode("utf-8", "replace")


def text_lines_match_unzip(tunzip, scratch, check):
    shaker = random.Random(5)
    with zipfile.ZipFile(os.path.join(scratch, "lines.zip"), "w") as archive:
        for i, size in enumerate((0, 1, 7, 300, 5000, 70000, 300000, 300000)):
            info = zipfile.ZipInfo("m%d.%s" % (i, "dat" if i % 3 == 2 else "txt"),
                                   (2020, 1, 2, 3, 4, 6))
            info.create_system, info.internal_attr = 3, 0 if i % 3 == 2 else 1
            info.compress_type = zipfile.ZIP_STORED if i == 4 else zipfile.ZIP_DEFLATED
            archive.writestr(info, bytes(shaker.choice(b"ab\r\n\x1a\x00") for _ in range(size)))
        archive.writestr("folder/", b"")
        archive.writestr("empty.dat", b"")
    unpadded = lambda output: re.sub(rb" +\n", b"\n", output)
    for flags in ("-a", "-aa"):
        ours, theirs = (os.path.join(scratch, "lines-%s%s" % (who, flags)) for who in ("t", "u"))
        for folder in (ours, theirs):
            shutil.rmtree(folder, ignore_errors=True)
            os.mkdir(folder)
        code, out, err = run(tunzip, flags, "../lines.zip", cwd=ours)
        unzip = subprocess.run(["unzip", flags, "../lines.zip"], cwd=theirs, capture_output=True)
        same = [filecmp.cmp(os.path.join(ours, name), os.path.join(theirs, name), shallow=False)
                for name in sorted(os.listdir(theirs)) if name != "folder"]
        check(code == 0 and len(same) == 9 and all(same), "%s: files %r %r" % (flags, same, err))
        check(unpadded(out.encode()) == unpadded(unzip.stdout),
              "%s: member lines %r %r" % (flags, out, unzip.stdout))
        for pipe in ("-p", "-c"):
            result = subprocess.run([tunzip, pipe + flags[1:], "lines.zip"], cwd=scratch,
                                    capture_output=True, timeout=60)
            unzip = subprocess.run(["unzip", pipe + flags[1:], "lines.zip"], cwd=scratch,
                                   capture_output=True)
            check(result.returncode == 0 and unpadded(result.stdout) == unpadded(unzip.stdout),
                  "%s%s: output differs from UnZip's" % (pipe, flags[1:]))


def owners_match_unzip(tunzip, scratch, check):
    """-X gives files, folders and a setuid program (-K) the owners their Unix
    extra fields name, the owner before the mode so that the setuid bit
    stays, as UnZip does as root; a user who may not give files away is
    warned for each and keeps them, with exit 1."""
    def owned(name, user, group, mode):
        info = zipfile.ZipInfo(name, (2020, 2, 3, 4, 5, 6))
        info.create_system = 3
        info.external_attr = mode << 16
        info.extra = struct.pack("<HHBBIBI", 0x7875, 11, 1, 4, user, 4, group)
        return info
    archive = os.path.join(scratch, "owners.zip")
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr(owned("own/", 1234, 5678, 0o40755), b"")
        z.writestr(owned("own/plain.txt", 4321, 8765, 0o100644), b"plain")
        z.writestr(owned("own/setuid", 1234, 5678, 0o104755), b"#!/bin/sh\n")
        z.writestr(zipfile.ZipInfo("own/nobody.txt", (2020, 2, 3, 4, 5, 6)), b"no field")

    def facts(root):
        found = {}
        for name in ("own", "own/plain.txt", "own/setuid", "own/nobody.txt"):
            st = os.lstat(os.path.join(root, name))
            found[name] = (st.st_uid, st.st_gid, oct(st.st_mode))
        return found
    if os.geteuid() == 0:
        made = []
        for tool in (tunzip, "unzip"):
            out = os.path.join(scratch, "owners-" + os.path.basename(tool))
            shutil.rmtree(out, ignore_errors=True)
            code = subprocess.run([tool, "-qXK", archive, "-d", out], timeout=60).returncode
            made.append((code, facts(out)))
        check(made[0] == made[1] and made[0][1]["own/setuid"][:2] == (1234, 5678)
              and made[0][1]["own/setuid"][2] == oct(0o104755),
              "-X as root: %r" % made)
        # The unprivileged run, as the user nobody.
        as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    else:
        print("-X: not root, so only the unprivileged run is checked")
        as_user = []
    # Where that user reaches the program, the archive and the target.
    place = tempfile.mkdtemp()
    os.chmod(place, 0o755)
    program = shutil.copy(tunzip, place)
    archive = shutil.copy(archive, place)
    out = os.path.join(place, "out")
    os.makedirs(out)
    os.chmod(out, 0o777)
    result = subprocess.run(as_user + [program, "-qX", archive, "-d", out],
                            capture_output=True, timeout=60)
    warnings = result.stderr.decode().count("cannot set user")
    mine = {v[:2] for v in facts(out).values()}
    shutil.rmtree(place)
    check(result.returncode == 1 and warnings == 3 and len(mine) == 1,
          "-X as a user: %r %r" % (result, mine))


def main():
    tunzip, scratch = os.path.abspath(sys.argv[1]), sys.argv[2]
    os.makedirs(scratch, exist_ok=True)

    def write(name, data):
        path = os.path.join(scratch, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    sample = write("sample.zip", zip_bytes([
        (b"docs/readme.txt", b"read me", 0),
        (b"caf\x82.txt", b"oem", 0),                 # e acute in code page 437
        ("na\u00efve-\u20ac.txt".encode(), b"utf", 0x0800),  # UTF-8 name
        (b"tab\there.bin", b"\x00\x01", 0),
        (b"docs/", b"", 0),
    ]))

    code, out, err = run(tunzip)
    check(code == 0 and out.startswith("usage: tunzip"), "no arguments: exit %d %r" % (code, out))
    code, out, err = run(tunzip, "-Y", sample)
    check(code == 10 and err == "tunzip: unknown option -Y (tunzip -h shows the usage)\n",
          "unknown option: exit %d %r" % (code, err))
    code, out, err = run(tunzip, "-t", "-d", "x", sample)
    check(code == 0 and "caution: not extracting; -d ignored" in err, "-d with -t: exit %d" % code)
    code, out, err = run(tunzip, "--version")
    check(code == 0 and out.startswith("tunzip "), "--version: exit %d %r" % (code, out))

    code, out, err = run(tunzip, "-l", "--tsv", sample)
    names = [line.split("\t")[8] for line in out.splitlines()]
    check(code == 0, "tsv listing: exit %d %s" % (code, err))
    check(names == ["docs/readme.txt", "caf\u00e9.txt", "na\u00efve-\u20ac.txt",
                    "tab\\x09here.bin", "docs/"], "names: %r" % names)
    first = out.splitlines()[0].split("\t")
    check(first[:8] == ["0", "0", "0000", "7", "7", "%08x" % zlib.crc32(b"read me"), "0",
                        "2025-04-14 12:00:00"] and first[9] == "Stored", "first row: %r" % first)

    code, out, err = run(tunzip, "-l", sample)
    check(code == 0 and out.startswith("Archive:  " + sample), "short listing header: %r" % out[:80])
    check(out.rstrip().endswith("5 files"), "short listing totals: %r" % out[-80:])
    check("        7  2025-04-14 12:00   docs/readme.txt\n" in out and "caf\u00e9.txt" in out,
          "short listing rows: %r" % out)
    code, out, err = run(tunzip, "-v", sample)
    check(code == 0 and "Stored" in out and "caf\u00e9.txt" in out, "verbose listing rows")
    code, out, err = run(tunzip, "-Z1", sample)
    check(code == 0 and out.splitlines() == names, "-Z1: %d %r" % (code, out))

    # Masks are case-sensitive unless -C is given.
    for case in ([], ["-C"]):
        mask, exclude = ("*.txt", "caf*") if not case else ("*.TXT", "CAF*")
        code, out, err = run(tunzip, "-l", "--tsv", *case, sample, mask, "-x", exclude)
        chosen = [line.split("\t")[8] for line in out.splitlines()]
        check(code == 0 and chosen == ["docs/readme.txt", "na\u00efve-\u20ac.txt"],
              "masks and exclusions %r: %d %r" % (case, code, chosen))
    code, out, err = run(tunzip, "-l", "--tsv", sample, "caf\u00e9.txt")
    check(code == 0 and len(out.splitlines()) == 1, "mask typed in UTF-8: %d %r" % (code, out))
    # A listing fails only when nothing at all was chosen, as UnZip's does.
    code, out, err = run(tunzip, "-l", "--tsv", sample, "docs/*", "nothing.here")
    check(code == 0 and "caution: filename not matched:  nothing.here" in err
          and len(out.splitlines()) == 2, "unmatched mask: %d %r" % (code, err))
    code, out, err = run(tunzip, "-l", "--tsv", sample, "nothing.here")
    check(code == 11 and out == "", "nothing matched: %d %r" % (code, err))
    # Extraction and test choosing nothing, by mask or by exclusion: 11.
    for args in (["-t", "sample.zip", "-x", "*"],
                 ["-qo", "sample.zip", "nothing*", "-d", "nothing-out"]):
        code, out, err = run(tunzip, *args, cwd=scratch)
        check(code == 11 and err.endswith("no member chosen\n"), "%r: %d %r" % (args, code, err))
    check(not os.path.exists(os.path.join(scratch, "nothing-out")), "nothing chosen made a folder")

    # The user's own spelling of the path, relative and with "..", in messages.
    code, out, err = run(tunzip, "-l", "--tsv", "../" + os.path.basename(scratch) + "/sample.zip",
                         cwd=scratch)
    check(code == 0 and len(out.splitlines()) == 5, "relative path: %d %s" % (code, err))
    code, out, err = run(tunzip, "-l", "missing.zip", cwd=scratch)
    check(code == 9 and err == "tunzip: cannot find or open missing.zip, missing.zip.zip or "
          "missing.zip.ZIP\n", "missing archive: %d %r" % (code, err))
    # UnZip's search: ARCHIVE, then ARCHIVE.zip, then ARCHIVE.ZIP.
    write("upper.ZIP", zip_bytes([(b"u", b"U", 0)]))
    for name, found in (("sample", "sample.zip"), ("upper", "upper.ZIP")):
        code, out, err = run(tunzip, "-l", name, cwd=scratch)
        header = out.splitlines()[0] if out else ""
        check(code == 0 and header.lower() == "archive:  " + found.lower(),
              "%s: %d %r %r" % (name, code, header, err))
    os.makedirs(os.path.join(scratch, "folder.zip"))
    code, out, err = run(tunzip, "-l", "folder.zip", cwd=scratch)
    check(code == 9 and "cannot find or open folder.zip" in err, "a folder: %d %r" % (code, err))

    write("text.txt", b"just some text, no archive at all" * 10)
    write("zero.zip", b"")
    write("short.zip", b"PK\x05\x06")
    write("noise.bin", bytes(range(7, 24)))
    for name, why in (("text.txt", "no ZIP directory found in it"), ("zero.zip", "the file is empty"),
                      ("short.zip", "too short to be one"), ("noise.bin", "too short to be one")):
        for mode in ("-l", "-t", "-Z1"):
            code, out, err = run(tunzip, mode, name, cwd=scratch)
            check(code == 9 and err == "tunzip: %s: not a ZIP archive (%s)\n" % (name, why),
                  "not an archive %s %s: %d %r" % (mode, name, code, err))

    damaged = bytearray(zip_bytes([(b"a", b"1", 0), (b"b", b"2", 0)]))
    second = damaged.find(b"PK\x01\x02", damaged.find(b"PK\x01\x02") + 1)
    damaged[second + 2] = 0x09
    write("damaged.zip", bytes(damaged))
    code, out, err = run(tunzip, "-l", "damaged.zip", cwd=scratch)
    check(code == 3 and "Invalid file - not a PKZip file" in err, "damaged: %d %r" % (code, err))

    write("empty.zip", zip_bytes([]))
    for mode in (["-l", "--tsv"], ["-t"], ["-Z1"], ["-o", "-d", "out"]):
        code, out, err = run(tunzip, *mode, "empty.zip", cwd=scratch)
        check(code == 1 and err == "tunzip: empty.zip: zipfile is empty\n",
              "empty %r: %d %r" % (mode, code, err))
    check(not os.path.exists(os.path.join(scratch, "out")), "an empty archive made the target")

    # A member without a name is named by its place in every message.
    write("unnamed.zip", zip_bytes([(b"a", b"1", 0), (b"", b"2", 0)]))
    code, out, err = run(tunzip, "-Z1", "unnamed.zip", cwd=scratch)
    check(code == 0 and out.splitlines() == ["a", "(unnamed member 2)"], "unnamed: %r" % out)
    code, out, err = run(tunzip, "-l", "unnamed.zip", cwd=scratch)
    check(code == 0 and "   (unnamed member 2)\n" in out, "unnamed -l: %r" % out)
    write("zero-count.zip", zip_bytes([(b"a", b"1", 0), (b"b", b"2", 0)], total=0))
    # A count that disagrees with the directory: no more members than either
    # declares, and the archive said to be damaged, as UnZip says (3).
    code, out, err = run(tunzip, "-l", "--tsv", "zero-count.zip", cwd=scratch)
    check(code == 3 and out == "" and "is not the 0 entries in" in err,
          "zero entry count: %d %r" % (code, err))
    # An extended timestamp cut short costs its times, with a warning, not the file.
    write("badtime.zip", zip_bytes([(b"t.txt", b"timed\n", 0, b"UT\x09\x00\x01")]))
    code, out, err = run(tunzip, "-q", "badtime.zip", "-d", "badtime", cwd=scratch)
    check(code == 1 and "damaged extra field" in err and
          open(os.path.join(scratch, "badtime", "t.txt"), "rb").read() == b"timed\n",
          "damaged time field: %d %r" % (code, err))
    long_name = (b"deep/" * 80) + b"x" * 300 + b".txt"
    write("long.zip", zip_bytes([(long_name, b"L", 0)]))
    code, out, err = run(tunzip, "-l", "--tsv", "long.zip", cwd=scratch)
    check(code == 0 and out.rstrip("\r\n").split("\t")[8] == long_name.decode(),
          "long name: %d %r" % (code, err))

    # A shifted archive with a comment, as UnZip prints its head: the title,
    # the comment, then the warning; -p and -Z1 give the warning alone.
    plain = zip_bytes([(b"one.txt", b"1", 0)])
    write("shifted.zip", b"\x90" * 100 + plain[:-2] + struct.pack("<H", 8) + b"the note")
    merged = subprocess.run([tunzip, "-t", "shifted.zip"], cwd=scratch, timeout=60,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    lines = merged.stdout.decode().splitlines()
    check(merged.returncode == 1 and lines[:3] == [
        "Archive:  shifted.zip", "the note",
        "warning [shifted.zip]:  100 extra bytes at beginning or within zipfile"],
        "shifted head: %d %r" % (merged.returncode, lines))
    for args in (["-p"], ["-Z1"], ["-q", "-o", "-d", "shifted-out"], ["-qq", "-t"]):
        code, out, err = run(tunzip, *args, "shifted.zip", cwd=scratch)
        check(code == 1 and "the note" not in out and ("100 extra bytes" in err) == (args[0] != "-qq"),
              "shifted %s: %d %r %r" % (args[0], code, out, err))

    # On a terminal the member lines are those piped output gets; a member
    # decoded in well under half a second shows no progress line.
    big = b"".join(b"line %d of a member long enough to report its progress\n" % i
                   for i in range(120000))
    with zipfile.ZipFile(os.path.join(scratch, "big.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("big.txt", big)
    code, shown = run_on_terminal(tunzip, "-t", "big.zip", cwd=scratch)
    check(code == 0 and "testing: big.txt   OK" in shown and "%  " not in shown,
          "member lines on a terminal: %d %r" % (code, shown))
    code, out, err = run(tunzip, "-t", "big.zip", cwd=scratch)
    check(code == 0 and "%  " not in out and "big.txt   OK" in out,
          "progress piped: %d %r" % (code, out))

    # --json: one document a program parses, every member's facts in it.
    with zipfile.ZipFile(os.path.join(scratch, "facts.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        folder = zipfile.ZipInfo("d/")
        folder.external_attr, folder.create_system = (0o40755 << 16) | 0x10, 3
        archive.writestr(folder, b"")
        named = zipfile.ZipInfo('d/a "quoted"\ttab.txt', (1999, 12, 31, 23, 59, 58))
        named.external_attr, named.create_system = 0o100644 << 16, 3
        named.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(named, b"hello " * 100)
        link = zipfile.ZipInfo("link")
        link.external_attr, link.create_system = 0o120777 << 16, 3
        archive.writestr(link, b"d/target")
    code, out, err = run(tunzip, "-l", "--json", "facts.zip", cwd=scratch)
    try:
        members = json.loads(out)["members"]
    except ValueError as e:
        members = []
        check(False, "--json is no JSON: %s %r" % (e, out))
    with zipfile.ZipFile(os.path.join(scratch, "facts.zip")) as archive:
        infos = archive.infolist()
    check(code == 0 and [m["name"] for m in members] == [i.filename for i in infos]
          and [m["size"] for m in members] == [i.file_size for i in infos]
          and [m["compressed_size"] for m in members] == [i.compress_size for i in infos]
          and [int(m["crc32"], 16) for m in members] == [i.CRC for i in infos]
          and [m["type"] for m in members] == ["folder", "file", "link"]
          and members[1]["modified"] == "1999-12-31T23:59:58" and members[1]["unix_mode"] == 0o100644
          and members[1]["method_name"] == "Defl:N" and members[2]["link_target"] == "d/target",
          "--json: %d %r" % (code, members))

    # -z shows the comment; -c the bytes after each member's line, as UnZip's
    # -c does but for its padding; -D leaves folders their time of making and
    # -DD files too.
    code, out, err = run(tunzip, "-z", "facts.zip", cwd=scratch)
    check(code == 0 and out == "Archive:  facts.zip\n", "-z without a comment: %d %r" % (code, out))
    with zipfile.ZipFile(os.path.join(scratch, "timed.zip"), "w") as archive:
        archive.comment = b"the comment"
        archive.writestr(zipfile.ZipInfo("old/", (2001, 2, 3, 4, 5, 6)), b"")
        archive.writestr(zipfile.ZipInfo("old/file.txt", (2001, 2, 3, 4, 5, 6)), b"no newline")
    code, out, err = run(tunzip, "-z", "timed.zip", cwd=scratch)
    check(code == 0 and out == "Archive:  timed.zip\nthe comment\n", "-z: %d %r" % (code, out))
    code, out, err = run(tunzip, "-c", "timed.zip", cwd=scratch)
    unzip = subprocess.run(["unzip", "-c", "timed.zip"], cwd=scratch, capture_output=True).stdout
    check(code == 0 and out.encode() == re.sub(rb" +\n", b"\n", unzip), "-c: %r %r" % (out, unzip))
    for flags, folder_old, file_old in (("", True, True), ("-D", False, True), ("-DD", False, False)):
        target = os.path.join(scratch, "timed-out" + flags)
        shutil.rmtree(target, ignore_errors=True)
        args = [flags] if flags else []
        code, out, err = run(tunzip, *args, "timed.zip", "-d", target, cwd=scratch)
        year = lambda path: time.localtime(os.stat(os.path.join(target, path)).st_mtime).tm_year
        check(code == 0 and (year("old") == 2001) == folder_old
              and (year("old/file.txt") == 2001) == file_old, "times with %r: %d %r" % (flags, code, err))

    # A folder is announced as created only when this run made it.
    with zipfile.ZipFile(os.path.join(scratch, "folders.zip"), "w") as archive:
        archive.writestr("kept/", b"")
        archive.writestr("kept/file.txt", b"x")
    shutil.rmtree(os.path.join(scratch, "folders-out"), ignore_errors=True)
    runs = [run(tunzip, "-uo", "folders.zip", "-d", "folders-out", cwd=scratch) for _ in range(2)]
    check(runs[0][0] == 0 and "creating: kept/" in runs[0][1] and runs[1][0] == 0
          and "creating:" not in runs[1][1], "folders announced: %r" % (runs,))

    # -a and -aa convert line ends as UnZip does (the text bit alone decides,
    # CR, LF and CR LF each end a line, Ctrl-Z goes), in files whole or decoded
    # on workers and in -p and -c output; their member lines are UnZip's.
    text_lines_match_unzip(tunzip, scratch, check)

    # -T sets the archive's time to its newest file's (a newer folder does
    # not count) and does nothing else, -l or -t given or not, as UnZip does.
    stamps = []
    for tool in (tunzip, "unzip"):
        with zipfile.ZipFile(os.path.join(scratch, "stamped.zip"), "w") as archive:
            archive.writestr(zipfile.ZipInfo("new/", (2022, 1, 1, 0, 0, 0)), b"")
            archive.writestr(zipfile.ZipInfo("old.txt", (2019, 5, 6, 7, 8, 10)), b"x")
            archive.writestr(zipfile.ZipInfo("older.txt", (2018, 1, 1, 0, 0, 0)), b"y")
        result = subprocess.run([tool, "-T", "-l", "stamped.zip"], cwd=scratch,
                                capture_output=True, timeout=60)
        stamps.append((result.returncode, result.stdout.decode(),
                       os.stat(os.path.join(scratch, "stamped.zip")).st_mtime))
    check(stamps[0] == stamps[1] and stamps[0][2] == time.mktime((2019, 5, 6, 7, 8, 10, 0, 0, -1)),
          "-T: %r" % stamps)

    owners_match_unzip(tunzip, scratch, check)

    for failure in failures:
        print("FAIL:", failure)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
