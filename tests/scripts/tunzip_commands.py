#!/usr/bin/env python3
"""The same command lines through Info-ZIP UnZip and tunzip, on the corpus and
on a few archives made here, compared as a script sees them: exit codes, the
names that -l, -v and -Z1 list, the files written with their bytes and times,
and the bytes that -p sends.

usage: tunzip_commands.py TUNZIP CORPUS_DIR SCRATCH_DIR

Every difference must be one of KNOWN, where tunzip differs on purpose and
says why; anything else fails the test.
"""
import calendar
import os
import re
import struct
import sys
import time
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer_tools  # noqa: E402

failures = []
UTC = {"TZ": "UTC"}

# (archive, command, what differs) -> why tunzip differs on purpose. The
# archive and command are as printed below; "*" stands for any archive or
# command.
LZMA = "tunzip decodes LZMA through liblzma, as 7-Zip and bsdtar do; UnZip 6.00 lacks it (81)"
REDUCE = "tunzip decodes Reduce; Debian's UnZip is built without it (81)"
UNNAMED = "an empty name is shown by its place"
CP437 = "names in UTF-8 from code page 437; UnZip passes the stored bytes through"
CONTROL = "control bytes shown as \\xNN; UnZip shows ^A"
SIZE = ("a member never yields more than its declared size: tttt.txt declares 256 bytes and "
        "inflates to 39 MB, which UnZip writes")
EMPTY = "UnZip lists 'Empty zipfile.' as if it were a name; tunzip says so on standard error"
NTFS = ("the NTFS extra field's UTC time is used, as 7-Zip does; UnZip 6.00 on Unix reads only "
        "the extended timestamp and takes the DOS stamp as local time")
SEPARATORS = ("names made on MS-DOS with `\\` between folders are listed as they are extracted, "
              "with `/`, as 7-Zip lists them, and extracted without a warning; UnZip lists the "
              "stored `\\` and warns that it converts them (1)")
MSDOS_FOLDER = ("def is a folder by its MS-DOS attribute and def/foo lands in it; UnZip writes def "
                "as a file and then fails on def/foo (2)")
OVERLAP = ("members whose data overlap one another or the directory are refused before anything "
           "is written (possible zip bomb); UnZip decodes the first and stops later")
UNICODE_PATH = ("Info-ZIP's Unicode Path field names the member in every locale; UnZip 6.00 "
                "reads it only under a UTF-8 locale and otherwise writes the stored bytes")
FAILED_FILE = ("a member that fails leaves no file behind; UnZip leaves what it decoded up to "
               "the fault")
SPLIT_DIRECTORY = ("the directory's stated length runs past the end record: tunzip lists the "
                   "entries it finds and says the directory disagrees with the record (3); "
                   "UnZip compensates and says so (2)")
CLIMBS = ("a name that climbs out of its folder with .. is refused, saying so (2); UnZip drops "
          "the ../ and writes the file below the target folder")
EXTRA_FIRST = ("the member's extra field is damaged, which tunzip finds first (2); UnZip finds its "
               "overlap first (12)")
SPLIT = ("the last part of a split archive: tunzip reads the set across the parts beside it, "
         "as 7-Zip and unar do (0); UnZip 6.00 reads no split sets: it lists the directory the "
         "last part holds with a warning (1) and fails every member (2)")
KNOWN = {
    ("bad/LZMA.zip", "*", "exit"): LZMA,
    ("bad/LZMA.zip", "*", "files"): LZMA,
    ("bad/LZMA.zip", "*", "bytes"): LZMA,
    ("last part of a split archive", "*", "exit"): SPLIT,
    ("last part of a split archive", "*", "files"): SPLIT,
    ("last part of a split archive", "*", "bytes"): SPLIT,
    ("bad/nameRooted.zip", "*", "exit"): CLIMBS,
    ("bad/nameRooted.zip", "*", "files"): CLIMBS,
    ("bad/HuffmanTreeException.zip", "-tqq {}", "exit"): EXTRA_FIRST,
    ("bad/HuffmanTreeException.zip", "-qo {} -d out", "exit"): EXTRA_FIRST,
    ("bad/HuffmanTreeException.zip", "-p {}", "exit"): EXTRA_FIRST,
    ("compat/unicode.zip", "*", "names"): UNICODE_PATH,
    ("compat/unicode.zip", "*", "files"): UNICODE_PATH,
    ("compat/la_zip_filename_cp866.zip", "*", "files"): CP437,
    ("compat/la_zip_msdos.zip", "*", "files"): MSDOS_FOLDER,
    ("compat/backslashes_FromWindows.zip", "*", "exit"): SEPARATORS,
    ("compat/dataDescriptor.zip", "*", "exit"): SEPARATORS,
    ("deflate64/small_deflate64.zip", "*", "times"): NTFS,
    ("bad/tttt.zip", "*", "times"): NTFS,
    ("bad/invalidDeflate.zip", "*", "files"): FAILED_FILE,
    ("bad/NORMAL.zip", "*", "files"): OVERLAP,
    ("bad/NORMAL.zip", "*", "bytes"): OVERLAP,
    ("bad/compressedSizeOutOfBounds.zip", "*", "files"): OVERLAP,
    ("bad/compressedSizeOutOfBounds.zip", "*", "bytes"): OVERLAP,
    ("bad/HuffmanTreeException.zip", "-l {}", "exit"): SPLIT_DIRECTORY,
    ("bad/HuffmanTreeException.zip", "-v {}", "exit"): SPLIT_DIRECTORY,
    ("bad/HuffmanTreeException.zip", "-Z1 {}", "exit"): SPLIT_DIRECTORY,
    ("compat/7zip.zip", "*", "times"): NTFS,
    ("compat/dotnetzipstreaming.zip", "*", "times"): NTFS,
    ("compat/encrypted_entries_weak.zip", "*", "times"): NTFS,
    ("compat/la_zip_encryption_partially.zip", "*", "times"): NTFS,
    ("compat/largetrailingwhitespacedeflation.zip", "*", "times"): NTFS,
    ("deflate64/deflate64.zip", "*", "times"): NTFS,
    ("compat/backslashes_FromWindows.zip", "*", "names"): SEPARATORS,
    ("compat/dataDescriptor.zip", "*", "names"): SEPARATORS,
    ("compat/la_zip_msdos.zip", "*", "exit"): MSDOS_FOLDER,
    ("legacy/HWREDUCE.ZIP", "*", "exit"): REDUCE,
    ("legacy/HWREDUCE.ZIP", "*", "files"): REDUCE,
    ("legacy/HWREDUCE.ZIP", "*", "bytes"): REDUCE,
    ("legacy/example-r.zip", "*", "exit"): REDUCE,
    ("legacy/example-r.zip", "*", "files"): REDUCE,
    ("legacy/example-r.zip", "*", "bytes"): REDUCE,
    ("legacy/reduce.zip", "*", "exit"): REDUCE,
    ("legacy/reduce.zip", "*", "files"): REDUCE,
    ("legacy/reduce.zip", "*", "bytes"): REDUCE,
    ("bad/nameEmpty.zip", "-l {}", "names"): UNNAMED,
    ("bad/nameEmpty.zip", "-v {}", "names"): UNNAMED,
    ("bad/nameEmpty.zip", "-Z1 {}", "names"): UNNAMED,
    ("compat/la_zip_filename_cp866.zip", "-l {}", "names"): CP437,
    ("compat/la_zip_filename_cp866.zip", "-v {}", "names"): CP437,
    ("compat/la_zip_filename_cp866.zip", "-Z1 {}", "names"): CP437,
    ("compat/InvalidWindowsFileNameChars.zip", "-l {}", "names"): CONTROL,
    ("compat/InvalidWindowsFileNameChars.zip", "-v {}", "names"): CONTROL,
    ("compat/InvalidWindowsFileNameChars.zip", "-Z1 {}", "names"): CONTROL,
    ("*", "-Z1 {}", "names"): EMPTY,
    ("bad/tttt.zip", "*", "exit"): SIZE,
    ("bad/tttt.zip", "*", "files"): SIZE,
    ("bad/tttt.zip", "*", "bytes"): SIZE,
    ("bad/localFileHeaderSignatureWrong.zip", "*", "exit"):
        "a member whose local header is not there: the archive's structure is damaged (3),"
        " as for one whose header lies past the end; UnZip tells the two apart (2 and 3)",
    ("tree", "-qo {} nothing* -d out", "files"):
        "nothing chosen, nothing written: UnZip creates the target folder all the same",
    ("tree", "-l -- {} -dash", "names"):
        "-- ends the options, so -dash is a mask; UnZip reads it as -d ash after the archive",
}

# Differences that work in progress elsewhere removes: (archive, command,
# what) -> whose work. Printed, not failed; an entry that no longer differs
# is said to be stale so that it can go.
PENDING = {}
pending_seen = set()


# A row of -l (length, date, time, name) and of -v (length, method, size,
# ratio, date, time, CRC-32, name); other lines between the rules are
# member comments.
SHORT_ROW = re.compile(r"^ *\d+  \S+ \S+   (.*)$")
VERBOSE_ROW = re.compile(r"^ *\d+  \S+ +\d+ +-?\d+% \S+ \S+ [0-9a-f]{8}  (.*)$")


def listed_names(command, text):
    """The names a listing shows: -Z1's lines, -l's and -v's rows."""
    lines = text.splitlines()
    if command[0] == "-Z1":
        return lines
    row = SHORT_ROW if command[0] == "-l" else VERBOSE_ROW
    dashes = [i for i, line in enumerate(lines) if line.startswith("--------")]
    if len(dashes) < 2:
        return []
    return [m.group(1) for m in map(row.match, lines[dashes[0] + 1:dashes[1]]) if m]


def put(path, data, when):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    seconds = calendar.timegm(time.strptime(when, "%Y-%m-%d %H:%M:%S"))
    os.utime(path, (seconds, seconds))


def lookup(table, label, key, what):
    """The entry of table for this difference, most precise first; for
    PENDING as (its key, its text)."""
    for entry in ((label, key, what), ("*", key, what), (label, "*", what)):
        if entry in table:
            return (entry, table[entry]) if table is PENDING else table[entry]
    return None


def compare(tunzip, label, archive, command, scratch, existing=None):
    """Runs `command` with the archive in place of {} through both, in a
    folder holding the existing files (relative path -> (bytes, UTC time
    "YYYY-MM-DD hh:mm:ss")); says whether they agree, and records what tells
    them apart."""
    found = []
    results = {}
    trees = {}
    for tool in ("tunzip", "unzip"):
        work = peer_tools.fresh(os.path.join(scratch, tool))
        for rel, (data, when) in (existing or {}).items():
            put(os.path.join(work, rel), data, when)
        args = [archive if a == "{}" else a for a in command]
        results[tool] = peer_tools.run([tunzip if tool == "tunzip" else "unzip", *args],
                                       cwd=work, env=UTC, timeout=120)
        trees[tool] = peer_tools.snapshot(work)
        peer_tools.make_writable(work)
    ours, theirs = results["tunzip"], results["unzip"]
    if ours.code != theirs.code:
        found.append(("exit", "%d, UnZip %d" % (ours.code, theirs.code)))
    if command[0] in ("-l", "-v", "-Z1") and ours.code == theirs.code:
        mine, reference = listed_names(command, ours.out), listed_names(command, theirs.out)
        if mine != reference:
            found.append(("names", "%r, UnZip %r" % (mine[:6], reference[:6])))
    if command[0].startswith("-p") and ours.out_bytes != theirs.out_bytes:
        found.append(("bytes", "%d bytes, UnZip %d" % (len(ours.out_bytes),
                                                      len(theirs.out_bytes))))
    # Folder times are the extraction comparison's; here the files count.
    for line in peer_tools.differences(trees["tunzip"], trees["unzip"], modes=False,
                                       folder_times=False):
        found.append(("times" if "file time" in line else "files", line))
    unexplained = []
    key = " ".join(command)
    for what, detail in found:
        reason, pending = lookup(KNOWN, label, key, what), lookup(PENDING, label, key, what)
        if reason:
            print("  known  %s: tunzip %s: %s %s (%s)" % (label, key, what, detail, reason))
        elif pending:
            pending_seen.add(pending[0])
            print("  pending %s: tunzip %s: %s %s (%s)" % (label, key, what, detail, pending[1]))
        else:
            unexplained.append("%s: tunzip %s: %s %s" % (label, key, what, detail))
    if unexplained:
        failures.extend(unexplained)
        print("  stderr tunzip: %s\n  stderr unzip: %s" % (ours.err.strip()[:300],
                                                          theirs.err.strip()[:300]))
    return not found


def stored_zip(members):
    """Stored members of (name bytes, data); made by hand so that names may be
    anything."""
    out, central = bytearray(), bytearray()
    for name, data in members:
        offset, crc = len(out), zlib.crc32(data)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0x6000, 0x5A8E, crc,
                           len(data), len(data), len(name), 0) + name + data
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0x6000, 0x5A8E,
                               crc, len(data), len(data), len(name), 0, 0, 0, 0, 0x20,
                               offset) + name
    directory = len(out)
    out += central + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members),
                                 len(central), directory, 0)
    return bytes(out)


def made_archives(folder):
    """label -> path of archives made here for what the corpus lacks."""
    def write(name, data):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    tree = os.path.join(folder, "tree.zip")
    with zipfile.ZipFile(tree, "w", zipfile.ZIP_DEFLATED) as z:
        for name in ("tree/", "tree/sub/", "tree/sub/c.c", "tree/b.c", "Tree.TXT", "a.txt",
                     "[x].txt", "x/y/z.h", "\u00e9.txt", "-dash", ".hidden"):
            info = zipfile.ZipInfo(name, (2021, 3, 6, 10, 20, 30))
            z.writestr(info, b"" if name.endswith("/") else name.encode() * 3)
    # The last part of a split archive: it holds the directory, but the
    # members live in the parts before it.
    source = peer_tools.fresh(os.path.join(folder, "split-source"))
    with open(os.path.join(source, "noise.bin"), "wb") as f:
        f.write(bytes((i * 7919 + i // 251) % 256 for i in range(150000)))
    split = os.path.join(folder, "split.zip")
    r = peer_tools.run(["zip", "-q", "-0", "-s", "64k", split, "noise.bin"], cwd=source)
    if r.code != 0:
        failures.append("zip -s could not make a split archive: %r" % r)
    return {
        "last part of a split archive": split,
        "tree": tree,
        "empty archive": write("empty.zip", stored_zip([])),
        "0-byte file": write("zero.zip", b""),
        "17 bytes of noise": write("noise.zip", bytes((i * 37 + 11) % 256 for i in range(17))),
        "text file": write("text.txt", b"no archive here\n" * 40),
    }


def corpus_archives(corpus):
    archives = {}
    for folder in ("compat", "legacy", "deflate64", "bad"):
        for name in sorted(os.listdir(os.path.join(corpus, folder))):
            if name.lower().endswith((".zip", ".exe")):
                archives["%s/%s" % (folder, name)] = os.path.join(corpus, folder, name)
    return archives


# What every archive goes through.
EVERY_ARCHIVE = [
    ["-l", "{}"],
    ["-v", "{}"],
    ["-Z1", "{}"],
    ["-tqq", "{}"],
    ["-qo", "{}", "-d", "out"],
    ["-p", "{}"],
]

# Command lines about the grammar and the masks, on the tree archive.
ON_THE_TREE = [
    ["-qqo", "{}", "-d", "out"],
    ["-oq", "{}", "-dout"],
    ["-d", "out", "-jo", "{}", "tree/*"],
    ["-Z1", "{}", "tree/*"],
    ["-Z1", "{}", "tree/*.c"],
    ["-Z1", "{}", "*/*"],
    ["-Z1", "{}", "[a-c]*"],
    ["-Z1", "{}", "[!a-c]*"],
    ["-Z1", "{}", "[[]x].txt"],
    ["-Z1", "{}", "*.TXT"],
    ["-Z1C", "{}", "*.txt"],
    ["-Z1", "{}", "*", "-x", "tree/*", "*.c"],
    ["-l", "{}", "nothing*"],
    ["-l", "{}", "a.txt", "nothing*"],
    ["-tqq", "{}", "nothing*"],
    ["-tqq", "{}", "a.txt", "nothing*"],
    ["-qo", "{}", "nothing*", "-d", "out"],
    ["-tqq", "{}", "-x", "*"],
    ["-l", "--", "{}", "-dash"],
    ["-p", "{}"],
    ["-p", "{}", "tree/*.c", "a.txt"],
    ["-pq", "{}", "a.txt", "nothing*"],
    ["-p", "{}", "-d", "out"],
    ["-tp", "{}"],
    ["-fn", "{}"],
    ["-fut", "{}"],
]

# Freshening and updating over files already there: one older than its
# member, one newer, one a second before the member's even DOS second (the
# same time for UnZip), and members with no file yet. The members are
# stamped 2021-03-06 10:20:30.
EXISTING = {
    "a.txt": (b"old a\n", "2020-01-01 00:00:00"),
    "tree/b.c": (b"newer b\n", "2030-01-01 00:00:00"),
    "Tree.TXT": (b"same second\n", "2021-03-06 10:20:29"),
    "[x].txt": (b"two seconds older\n", "2021-03-06 10:20:28"),
}
OVER_EXISTING = [
    ["-fo", "{}"],
    ["-uo", "{}"],
    ["-f", "{}"],
    ["-un", "{}"],
    ["-qfo", "{}", "*.txt"],
    ["-ujo", "{}", "tree/*"],
    ["-o", "{}", "a.txt"],
]


def main():
    tunzip, corpus, scratch = (os.path.abspath(a) for a in sys.argv[1:4])
    peer_tools.require("unzip")
    if not os.path.isdir(corpus):
        print("FAIL: no corpus at %s" % corpus)
        return 1
    peer_tools.fresh(scratch)
    archives = corpus_archives(corpus)
    made = made_archives(peer_tools.fresh(os.path.join(scratch, "made")))
    archives.update(made)
    runs = agreed = 0
    work = os.path.join(scratch, "work")
    for label, archive in archives.items():
        for command in EVERY_ARCHIVE:
            runs += 1
            agreed += compare(tunzip, label, archive, command, work)
    for command in ON_THE_TREE:
        runs += 1
        agreed += compare(tunzip, "tree", made["tree"], command, work)
    for command in OVER_EXISTING:
        runs += 1
        agreed += compare(tunzip, "tree", made["tree"], command, work, EXISTING)
    # The archive named without its suffix, and not at all.
    for command in (["-l", made["tree"][:-4]], ["-l", os.path.join(scratch, "nothing")]):
        runs += 1
        agreed += compare(tunzip, "search", None, command, work)
    for entry in sorted(set(PENDING) - pending_seen):
        print("note: stale pending entry, tunzip now agrees: %r" % (entry,))
    for failure in failures:
        print("FAIL:", failure)
    print("%d of %d command lines agree with UnZip but for the known differences; %d failures"
          % (agreed, runs, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
