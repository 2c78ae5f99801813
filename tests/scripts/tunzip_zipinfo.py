"""tunzip -Z against Info-ZIP's zipinfo: the same output, byte for byte, and
the same exit code, for archives Info-ZIP zip makes and for the corpus.

usage: tunzip_zipinfo.py TUNZIP CORPUS_DIR SCRATCH_DIR
"""
import os
import struct
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer_tools  # noqa: E402

tunzip, corpus, scratch = sys.argv[1:4]
failures = []

# Each format, and the header, totals, time and comment letters with the
# formats whose defaults they change.
FORMATS = ["", "-1", "-2", "-s", "-m", "-l", "-h", "-t", "-T", "-z", "-ht", "-hz", "-tz",
           "-2h", "-2t", "-2z", "-1z", "-mT", "-lT", "-sz", "-l2", "-2l", "-v", "-vt", "-lv"]
# The verbose listing of archives whose makers write what zip does not:
# other hosts, NTFS times, 7-Zip's attribute flag, blocks of every kind.
VERBOSE = ["-v", "-vt"]
# Time zones on both sides of UTC, so that a time shown in the wrong zone
# shows.
ZONES = ["UTC", "America/New_York", "Asia/Kolkata"]


def compare(archive, args, zone, what):
    env = {"TZ": zone}
    ours = peer_tools.run([tunzip, "-Z"] + args + [archive], env=env)
    theirs = peer_tools.run(["zipinfo"] + args + [archive], env=env)
    if ours.out_bytes != theirs.out_bytes or ours.code != theirs.code:
        failures.append("%s: -Z %s (TZ=%s): exit %d, zipinfo %d\n--- tunzip\n%s--- zipinfo\n%s"
                        % (what, " ".join(args), zone, ours.code, theirs.code,
                           ours.out[-1500:], theirs.out[-1500:]))


def make_tree(root):
    os.makedirs(os.path.join(root, "dir", "sub"))
    with open(os.path.join(root, "a.txt"), "w") as f:
        f.write("hello world\n" * 200)
    with open(os.path.join(root, "rand.bin"), "wb") as f:
        f.write(os.urandom(5000))
    open(os.path.join(root, "empty"), "w").close()
    with open(os.path.join(root, "dir", "sub", "b.txt"), "w") as f:
        f.write("hi\n")
    os.symlink("a.txt", os.path.join(root, "link"))
    # An odd second, which the MS-DOS stamp cannot hold, and a time in summer.
    os.utime(os.path.join(root, "a.txt"), (1718900999, 1718900999))
    os.chmod(os.path.join(root, "rand.bin"), 0o4755)


def zip_archives(root):
    """name -> (path, zip's arguments): the kinds of member Info-ZIP zip makes."""
    kinds = {
        "folders-links": ["-r", "-y", "."],
        "stored": ["-0", "a.txt", "empty"],
        "fastest": ["-1", "a.txt", "rand.bin"],
        "best": ["-9", "a.txt"],
        "encrypted": ["-P", "secret", "a.txt", "empty"],
        "no-extras": ["-X", "a.txt", "dir/sub/b.txt"],
        "zip64": ["-fz", "a.txt"],
    }
    made = {}
    for name, args in kinds.items():
        path = os.path.join(scratch, name + ".zip")
        r = peer_tools.run(["zip", "-q", path] + args, cwd=root)
        if r.code != 0:
            failures.append("zip %s: %r" % (" ".join(args), r))
        made[name] = path
    path = os.path.join(scratch, "comment.zip")
    peer_tools.run(["sh", "-c", "printf 'first line\\nno newline at the end' | zip -q -z %s a.txt"
                    % path], cwd=root)
    made["comment"] = path
    # A data descriptor: zip writes one when its output cannot be sought.
    path = os.path.join(scratch, "streamed.zip")
    peer_tools.run(["sh", "-c", "zip -q - a.txt dir/sub/b.txt | cat > %s" % path], cwd=root)
    made["streamed"] = path
    # Split sets, with and without ZIP64 records: zipinfo describes the
    # last part, and counts each offset within its part.
    with open(os.path.join(scratch, "big.bin"), "wb") as f:
        f.write(os.urandom(150000))
    for name, args in (("split", []), ("split-zip64", ["-fz"])):
        path = os.path.join(scratch, name + ".zip")
        r = peer_tools.run(["zip", "-q", "-s", "64k"] + args + [path, "big.bin", "tree/a.txt"],
                           cwd=scratch)
        if r.code != 0:
            failures.append("zip -s %s: %r" % (" ".join(args), r))
        made[name] = path
    return made


def other_archives(root):
    """name -> path: archives of 7-Zip, bsdtar and Python's zipfile, and one
    whose members carry the hosts, methods, flags, attributes, extra blocks
    and comments zipinfo names one by one."""
    made = {}
    path = os.path.join(scratch, "7zz.zip")
    peer_tools.run(["7zz", "a", "-tzip", "-bd", path, "a.txt", "dir", "link"], cwd=root)
    made["7zz"] = path
    path = os.path.join(scratch, "bsdtar.zip")
    peer_tools.run(["bsdtar", "--format", "zip", "-cf", path, "a.txt", "dir", "link"], cwd=root)
    made["bsdtar"] = path
    path = os.path.join(scratch, "kinds.zip")
    ntfs = struct.pack("<HHIHHQQQ", 0x000A, 32, 0, 1, 24, 133500000000000000, 0, 0)
    with zipfile.ZipFile(path, "w") as z:
        z.comment = b"archive comment\r\nsecond line"
        def member(name, host=3, attributes=0o100644 << 16, extra=b"", flags=0, comment=b"",
                   when=(2024, 6, 30, 23, 59, 58), internal=0):
            info = zipfile.ZipInfo(name, when)
            info.create_system, info.external_attr, info.extra = host, attributes, extra
            info.flag_bits, info.comment, info.internal_attr = flags, comment, internal
            z.writestr(info, b"data\n" * 20)
        for host in [0, 1, 2, 3, 6, 11, 14, 19, 30, 31]:
            member("host%d.txt" % host, host, 0o100755 << 16 | 0x21)
        member("amiga-folder", 1, 0o004217 << 16)
        member("vms-rights", 2, 0o100421 << 16)
        member("theos-program", 18, 0xD5A6 << 16)
        member("windows.txt", 0, 0x20, ntfs, comment=b"a member's comment")
        member("7zip-flag.txt", 3, 0o100644 << 16 | 0x8020, ntfs)
        for flags in range(8):
            times = struct.pack("<B", flags) + struct.pack("<i", 1719791998) * bin(flags).count("1")
            member("ut%d" % flags, extra=struct.pack("<HH", 0x5455, len(times)) + times)
        member("old-unix", extra=struct.pack("<HHiiHH", 0x5855, 12, 1719791998, 1719791990, 1, 2))
        for size in (0, 3, 24, 25, 40):
            member("block%d" % size, extra=struct.pack("<HH", 0x1234, size) + bytes(range(size)))
        member("named-blocks", extra=b"".join(struct.pack("<HH", i, 2) + b"ab" for i in
                                              (0x0007, 0x0009, 0x4453, 0x6375, 0x7855, 0x7875)))
        member("dos-attributes", 0, 0xFF)
        # A stamp no clock shows, a time before 1970, padding, text flags.
        member("damaged-stamp", when=(2025, 15, 0, 25, 61, 58), internal=3)
        member("before-1970", extra=struct.pack("<HHBi", 0x5455, 5, 1, -100000000), internal=2)
        member("padding", extra=b"\x01\x02", internal=1)
    # Methods and flags the writer cannot make, set in the directory after.
    data = bytearray(open(path, "rb").read())
    start = data.find(b"PK\x01\x02")
    for method, flags in [(1, 0), (5, 0), (6, 6), (6, 0), (8, 2), (9, 4), (8, 7), (12, 0),
                          (14, 0), (97, 0), (99, 0)]:
        struct.pack_into("<HH", data, start + 8, flags, method)
        start = data.find(b"PK\x01\x02", start + 4)
    with open(path, "wb") as f:
        f.write(data)
    made["kinds"] = path
    return made


def main():
    peer_tools.require("zip", "unzip", "7zz", "bsdtar")
    peer_tools.fresh(scratch)
    root = os.path.join(scratch, "tree")
    make_tree(root)
    archives = zip_archives(root)
    for name, path in archives.items():
        for args in FORMATS:
            for zone in ZONES:
                compare(path, args.split(), zone, name)
    for name, path in other_archives(root).items():
        for args in VERBOSE:
            for zone in ZONES:
                compare(path, args.split(), zone, name)
    # Masks and exclusions, matched and not: the lines they leave out and
    # the exit code when nothing is chosen.
    tree = archives["folders-links"]
    for args in [["-s"], ["-h"], ["-t"], ["-2t"], ["-v"], ["-vt"]]:
        for masks in [["dir/*"], ["dir/*", "nothing"], ["nothing"], ["-x", "dir/*"],
                      ["*.txt", "-x", "dir/*"]]:
            ours = peer_tools.run([tunzip, "-Z"] + args + [tree] + masks)
            theirs = peer_tools.run(["zipinfo"] + args + [tree] + masks)
            if (ours.out_bytes, ours.code, ours.err) != (theirs.out_bytes, theirs.code, theirs.err):
                failures.append("masks %s %s: tunzip %r %r, zipinfo %r %r"
                                % (args, masks, ours.out, ours.code, theirs.out, theirs.code))
    # The corpus, where zipinfo reads the archive whole and the others'
    # makers left what zip would not.
    if not os.path.isdir(corpus):
        print("corpus not found at %s (skipping it)" % corpus)
    else:
        for folder in ["compat", "legacy", "deflate64"]:
            base = os.path.join(corpus, folder)
            for name in sorted(os.listdir(base)):
                path = os.path.join(base, name)
                if not name.lower().endswith(".zip"):
                    continue
                if peer_tools.run(["zipinfo", "-l", path]).code not in (0, 1):
                    continue
                # zipinfo shows a name's stored bytes; tunzip shows it in
                # UTF-8 with / between folders and control characters
                # escaped, on purpose.
                with zipfile.ZipFile(path) as z:
                    if any(not i.orig_filename.isascii() or "\\" in i.orig_filename
                           or any(ord(c) < 32 for c in i.orig_filename)
                           or i.flag_bits & 0x800 for i in z.infolist()):
                        continue
                for args in ["-l", "-m", "-2t", "-v"]:
                    compare(path, args.split(), "UTC", folder + "/" + name)
    if failures:
        print("\n".join(failures))
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("tunzip -Z agrees with zipinfo")


main()
