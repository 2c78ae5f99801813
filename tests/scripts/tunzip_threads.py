"""tunzip on several threads writes and says exactly what it does on one.

usage: tunzip_threads.py TUNZIP CORPUS_DIR SCRATCH_DIR

For every corpus archive, and a generated one of many members (stored and
deflated, folders, empty files, two members for one file, a name that would
leave the target folder, a damaged member):
-t and extraction with --threads 1 and with more threads give the same exit
code, the same messages in the same order, and the same files with the same
bytes, times and modes. So do a second extraction over the first without -o
(every file exists: warnings in order), -o over it, and -u.
"""
import os
import random
import shutil
import stat
import subprocess
import sys
import time
import zipfile

tunzip, corpus, scratch = sys.argv[1], sys.argv[2], sys.argv[3]
THREADS = ("2", "3")
failures = []
# Folders the archive gives no time keep the time they were written at,
# which differs from run to run.
STARTED_NS = time.time_ns() - 10**9


def run(args, cwd=None):
    """Exit code and what the user sees: standard output and error as they
    interleave."""
    p = subprocess.run([tunzip] + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       timeout=120, stdin=subprocess.DEVNULL, cwd=cwd)
    return p.returncode, p.stdout


def tree(folder):
    """Every entry below folder: its kind, bytes or link target, time and mode."""
    out = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(root, name)
            st = os.lstat(path)
            if stat.S_ISLNK(st.st_mode):
                content = ("link", os.readlink(path))
            elif stat.S_ISDIR(st.st_mode):
                content = ("folder",)
                if st.st_mtime_ns >= STARTED_NS:
                    out[os.path.relpath(path, folder)] = (content, None, stat.S_IMODE(st.st_mode))
                    continue
            else:
                with open(path, "rb") as f:
                    content = ("file", f.read())
            out[os.path.relpath(path, folder)] = (content, st.st_mtime_ns, stat.S_IMODE(st.st_mode))
    return out


def same(label, one, many):
    if one != many:
        failures.append(label)


def compare_test(archive, label):
    one = run(["--threads", "1", "-t", archive])
    for n in THREADS:
        same("%s: -t with %s threads" % (label, n), one, run(["--threads", n, "-t", archive]))


def extract(args, archive, folder, seed=None):
    shutil.rmtree(folder, ignore_errors=True)
    if seed is not None:
        shutil.copytree(seed, folder, symlinks=True)
    # Run from inside the scratch folder, so that messages name the same
    # relative paths whichever folder is written.
    os.makedirs(folder, exist_ok=True)
    result = run(args + [archive, "-d", "."], cwd=folder)
    return result, tree(folder)


def compare_extract(archive, label, seed=None, extra=()):
    base = os.path.join(scratch, "one")
    one = extract(["--threads", "1"] + list(extra), archive, base, seed)
    for n in THREADS:
        many = extract(["--threads", n] + list(extra), archive, os.path.join(scratch, "many"), seed)
        same("%s: %s with %s threads" % (label, " ".join(extra) or "extraction", n), one, many)
    return base


def many_members(path):
    rng = random.Random(13)
    words = [b"alpha", b"beta", b"gamma", b"delta", b"\n", b"epsilon", b"zeta"]
    with zipfile.ZipFile(path, "w") as z:
        for i in range(300):
            size = rng.choice([0, 1, 100, 5000, 70000])
            data = b" ".join(rng.choice(words) for _ in range(size // 5))
            if i % 37 == 0:
                z.writestr(zipfile.ZipInfo("dir%02d/" % (i // 37)), b"")
            info = zipfile.ZipInfo("dir%02d/f%03d.txt" % (i // 37, i), (2020, 1, 2, 3, 4, (i % 30) * 2))
            info.compress_type = zipfile.ZIP_STORED if i % 5 == 0 else zipfile.ZIP_DEFLATED
            info.external_attr = (0o100644 if i % 2 else 0o100600) << 16
            z.writestr(info, data)
            if i == 150:  # refused while planning, between members in flight
                z.writestr("../escape.txt", b"outside\n")
        # A second member for a file already written.
        z.writestr("dir00/f001.txt", b"the second member for one file\n")
        z.writestr("damaged.txt", b"x" * 50000, compress_type=zipfile.ZIP_STORED)
        z.writestr("last.txt", b"after the damage\n")
    # One byte of the stored member's data changed: its CRC-32 no longer holds.
    with open(path, "r+b") as f:
        data = f.read()
        at = data.index(b"damaged.txt") + len("damaged.txt") + 1000
        f.seek(at)
        f.write(b"y")


def main():
    if not os.path.isdir(corpus):
        print("no corpus at %s: the corpus archives are left out" % corpus)
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    generated = os.path.join(scratch, "many.zip")
    many_members(generated)
    archives = [(generated, "many.zip")]
    for folder in ("compat", "deflate64", "legacy", "bad"):
        here = os.path.join(corpus, folder)
        if os.path.isdir(here):
            archives += [(os.path.join(here, n), folder + "/" + n) for n in sorted(os.listdir(here))
                         if n.lower().endswith((".zip", ".exe"))]
    for archive, label in archives:
        compare_test(archive, label)
        compare_extract(archive, label, extra=["-o"])
    # Over the files already there: refused one by one, replaced, updated.
    first = os.path.join(scratch, "first")
    extract(["--threads", "1", "-o"], generated, first)
    compare_extract(generated, "many.zip over itself", seed=first)
    compare_extract(generated, "many.zip over itself", seed=first, extra=["-o"])
    compare_extract(generated, "many.zip over itself", seed=first, extra=["-u"])
    # The generated archive really exercises the failures compared above.
    code, out = run(["--threads", "3", "-t", generated])
    with zipfile.ZipFile(generated) as z:
        sound = len(z.namelist()) - 1
    if code != 2 or b"damaged.txt: " not in out or out.count(b"   OK\n") != sound:
        failures.append("many.zip -t: expected %d members OK and damaged.txt failing, got exit "
                        "%d\n%s" % (sound, code, out.decode(errors="replace")[-600:]))
    for failure in failures:
        print("FAIL", failure)
    print("%d archives compared, %d failures" % (len(archives), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
