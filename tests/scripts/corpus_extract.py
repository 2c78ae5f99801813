"""Extracts every corpus archive with tunzip and checks what it wrote.

usage: corpus_extract.py TUNZIP CORPUS_DIR SCRATCH_DIR

- compat/, deflate64/, legacy/: every file tunzip writes has the CRC-32 and
  size the central directory gives, and equals what 7-Zip writes wherever
  7-Zip extracts that member; members tunzip refuses leave no file.
- a wrong password gives exit 82 and leaves no file.
- bad/: a clear error or a correct result, no crash, no hang, no partial file.
"""
import os
import shutil
import subprocess
import sys
import zipfile
import zlib

tunzip, corpus, scratch = sys.argv[1], sys.argv[2], sys.argv[3]
failures = []
# Offsets counted from the start of the ZIP part: read with the shift, and a
# warning (exit 1) as UnZip gives.
SHIFTED = {"la_zip_sfx.exe", "la_zip_padded1.zip"}


def check(ok, what):
    if not ok:
        failures.append(what)


def run(*args, timeout=120):
    p = subprocess.run(args, capture_output=True, timeout=timeout)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def written(folder):
    """relative path -> bytes of every file, and of every symbolic link its
    target (which is what a link member holds)."""
    out = {}
    for root, dirs, files in os.walk(folder):
        for f in files + [d for d in dirs if os.path.islink(os.path.join(root, d))]:
            path = os.path.join(root, f)
            if os.path.islink(path):
                out[os.path.relpath(path, folder)] = os.readlink(path).encode("utf-8", "surrogateescape")
            else:
                out[os.path.relpath(path, folder)] = open(path, "rb").read()
    return out


def is_folder(info):
    unix = info.create_system in (3, 19)
    return (info.filename.endswith("/") or (not unix and info.filename.endswith("\\"))
            or info.external_attr & 0x10 != 0
            or (unix and (info.external_attr >> 16) & 0o170000 == 0o040000))


def member_name(info):
    # `\` separates folders only in names made on MS-DOS-like hosts.
    if info.create_system in (3, 19):
        return info.filename
    return info.filename.replace("\\", "/")


def windows_legal(name):
    """The name tunzip.exe gives a member on Windows, which cannot hold these."""
    return "/".join("".join("_" if c in '<>:"|?*\\' or ord(c) < 32 else c for c in part)
                    for part in name.split("/"))


def expected_members(path):
    """name -> (crc, size) from the central directory, files and links."""
    try:
        with zipfile.ZipFile(path) as z:
            return {member_name(i): (i.CRC, i.file_size) for i in z.infolist() if not is_folder(i)}
    except Exception:
        return None


def fresh(name):
    path = os.path.join(scratch, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def make_zip(path, members):
    with zipfile.ZipFile(path, "w") as z:
        for name, data in members:
            z.writestr(zipfile.ZipInfo(name, (2024, 5, 6, 7, 8, 10)), data)


def replacing():
    """An existing file is replaced only by a member that extracted correctly."""
    base = fresh("replace")
    good = os.path.join(base, "good.zip")
    make_zip(good, [("a.txt", b"new contents"), ("../escape.txt", b"x"), ("/rooted.txt", b"x")])
    damaged = os.path.join(base, "damaged.zip")
    make_zip(damaged, [("a.txt", b"new contents")])
    raw = bytearray(open(damaged, "rb").read())
    raw[raw.index(b"new contents")] ^= 0xFF  # the data no longer match the CRC-32
    open(damaged, "wb").write(bytes(raw))
    target = os.path.join(base, "out")
    os.makedirs(target)
    existing = os.path.join(target, "a.txt")

    def reset():
        with open(existing, "wb") as f:
            f.write(b"old")

    reset()
    code, out, err = run(tunzip, "-o", "-q", "-d", target, damaged)
    # A damaged member is UnZip's 2, not a mere warning.
    check(code == 2 and "Failed CRC Check" in err, "damaged over existing: exit %d %s" % (code, err))
    check(open(existing, "rb").read() == b"old", "a failed member destroyed the file it replaced")
    check(sorted(os.listdir(target)) == ["a.txt"], "leftovers: %r" % os.listdir(target))

    code, out, err = run(tunzip, "-q", "-d", target, good, "a.txt")  # no terminal: never overwrite
    check(code == 1 and "not overwritten" in err, "no terminal: exit %d %s" % (code, err))
    check(open(existing, "rb").read() == b"old", "overwritten without -o")
    code, out, err = run(tunzip, "-n", "-q", "-d", target, good, "a.txt")
    check(code == 0 and open(existing, "rb").read() == b"old", "-n: exit %d" % code)
    code, out, err = run(tunzip, "-o", "-q", "-d", target, good)
    check(open(existing, "rb").read() == b"new contents", "-o did not replace")
    # A name that climbs out is refused, named once; an absolute one lands
    # below the target, as UnZip and 7-Zip put it, and UnZip's warning says so.
    check("escape.txt: Cannot extract file - parent folder (..) in the name" in err
          and err.count("escape.txt") == 1
          and "rooted.txt: absolute path stripped: written as rooted.txt" in err and code == 2,
          "unsafe names not refused: exit %d %s" % (code, err))
    check(not os.path.exists(os.path.join(base, "escape.txt")), "wrote outside the target")
    check(sorted(os.listdir(target)) == ["a.txt", "rooted.txt"],
          "leftovers: %r" % os.listdir(target))
    code, out, err = run(tunzip, "-o", "-j", "-q", "-d", target, good)
    check(sorted(os.listdir(target)) == ["a.txt", "escape.txt", "rooted.txt"],
          "-j keeps bare names inside: %r" % os.listdir(target))
    code, out, err = run(tunzip, "-q", "-d", target, good, "nomatch*")
    check(code == 11, "no match: exit %d" % code)


def main():
    if shutil.which("7zz") is None:
        sys.exit("FAIL: 7-Zip (7zz, Debian package 7zip) is not installed; ./dev installs it")
    checked = 0
    for sub in ("compat", "deflate64", "legacy"):
        folder = os.path.join(corpus, sub)
        for name in sorted(os.listdir(folder)):
            if not name.lower().endswith((".zip", ".exe")):
                continue
            path = os.path.join(folder, name)
            ours = fresh("ours")
            code, out, err = run(tunzip, "-o", "-q", "-P", "12345678", "-d", ours, path)
            check(code < 128, "%s: tunzip crashed (%d)" % (name, code))
            if name in SHIFTED:
                check(code == 1 and "extra bytes at beginning or within zipfile" in err,
                      "%s: should be read with a warning, exit %d %s" % (name, code, err))
            files = written(ours)
            members = expected_members(path) or {}
            legal = {windows_legal(m): m for m in members}
            for rel, data in files.items():
                key = rel.replace(os.sep, "/")
                found = (zlib.crc32(data) & 0xFFFFFFFF, len(data))
                key = legal.get(key, key)
                if key in members:
                    check(found == members[key], "%s: %s has the wrong CRC-32 or size" % (name, key))
                else:
                    # A name outside ASCII reads differently in the ANSI code
                    # page than Python decodes it (and Windows holds `?` as `_`):
                    # find the member by content.
                    check(found in members.values() and (not key.isascii() or "?" in key or "_" in key),
                          "%s: wrote %s, not a member" % (name, key))
                checked += 1
            failed = [l for l in err.splitlines() if l.startswith("tunzip: ")]
            check(len(files) + len(failed) >= len(members) or code == 11,
                  "%s: %d files, %d errors for %d members" % (name, len(files), len(failed), len(members)))
            theirs = fresh("theirs")
            run("7zz", "x", "-y", "-p12345678", "-o" + theirs, path)
            for rel, data in written(theirs).items():
                key = rel.replace(os.sep, "/")
                good = key in members and (zlib.crc32(data) & 0xFFFFFFFF, len(data)) == members[key]
                if rel in files and good:  # where 7-Zip succeeds
                    check(files[rel] == data, "%s: %s differs from 7-Zip's" % (name, rel))
    check(checked > 60, "only %d files checked" % checked)

    # A wrong password: exit 82, nothing left behind.
    wrong = fresh("wrong")
    code, out, err = run(tunzip, "-q", "-P", "nope", "-d", wrong,
                         os.path.join(corpus, "compat", "la_zip_traditional_encryption_data.zip"))
    check(code == 82, "wrong password: exit %d" % code)
    check(not written(wrong), "wrong password left files: %r" % list(written(wrong)))

    # Damaged archives: an error or a result, never a crash or a partial file.
    for name in sorted(os.listdir(os.path.join(corpus, "bad"))):
        path = os.path.join(corpus, "bad", name)
        ours = fresh("bad")
        try:
            code, out, err = run(tunzip, "-o", "-q", "-d", ours, path, timeout=60)
        except subprocess.TimeoutExpired:
            check(False, "bad/%s: hangs" % name)
            continue
        check(code < 128, "bad/%s: crashed (%d)" % (name, code))
        check(code == 0 or err.strip() != "", "bad/%s: failed without a message" % name)
        members = expected_members(path) or {}
        for rel, data in written(ours).items():
            key = rel.replace(os.sep, "/")
            ok = key in members and zlib.crc32(data) & 0xFFFFFFFF == members[key][0]
            check(ok, "bad/%s: %s is not a correctly extracted member" % (name, key))
        tested = run(tunzip, "-t", "-q", path, timeout=60)
        check(tested[0] < 128, "bad/%s: -t crashed" % name)

    replacing()

    for f in failures:
        print("FAIL:", f)
    print("%d passed, %d failed" % (checked if not failures else 0, len(failures)))
    return 1 if failures else 0


sys.exit(main())
