#!/usr/bin/env python3
"""tunzip on a split set made by Info-ZIP zip -s 64k: a.z01, a.z02 and a.zip,
its last part, with members whose data runs on from one part into the next.
Tested and extracted byte for byte on one thread and on several (the workers
read the set too, not just the last part); a missing middle part is named,
with exit 9.

usage: tunzip_split.py TUNZIP SCRATCH_DIR
"""
import os
import random
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer_tools  # noqa: E402

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(tunzip, *args, cwd):
    p = subprocess.run([tunzip, *args], capture_output=True, timeout=120, cwd=cwd,
                       stdin=subprocess.DEVNULL)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def central_entries(last_part):
    """(name, disk, offset, compressed size) of each central header in the
    last part, where a directory this small lies whole."""
    data = open(last_part, "rb").read()
    entries, at = [], data.find(b"PK\x01\x02")
    while at >= 0 and data[at:at + 4] == b"PK\x01\x02":
        size, name_len, extra_len, comment_len, disk = struct.unpack_from("<I4xHHHH", data, at + 20)
        offset = struct.unpack_from("<I", data, at + 42)[0]
        entries.append((data[at + 46:at + 46 + name_len].decode(), disk, offset, size))
        at += 46 + name_len + extra_len + comment_len
    return entries


def files_below(folder):
    out = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            out[os.path.relpath(path, folder)] = open(path, "rb").read()
    return out


def main():
    tunzip, scratch = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    peer_tools.require("zip")
    peer_tools.fresh(scratch)
    source = os.path.join(scratch, "source")
    os.makedirs(os.path.join(source, "docs"))
    rng = random.Random(28)
    # Two members too large to share a 64 KiB part and too random to shrink,
    # each large enough for a worker thread of its own.
    members = {
        "docs/readme.txt": b"read me first\n" * 40,
        "first.bin": bytes(rng.getrandbits(8) for _ in range(70000)),
        "second.bin": bytes(rng.getrandbits(8) for _ in range(70000)),
        "tail.txt": b"the last member\n",
    }
    for name, data in members.items():
        with open(os.path.join(source, name), "wb") as f:
            f.write(data)
    made = subprocess.run(["zip", "-q", "-s", "64k", "-r", "../a.zip", *members], cwd=source,
                          capture_output=True, timeout=60)
    parts = sorted(n for n in os.listdir(scratch) if n.startswith("a."))
    if made.returncode != 0 or parts != ["a.z01", "a.z02", "a.zip"]:
        print("FAIL: zip -s 64k made %r (exit %d, %r)" % (parts, made.returncode, made.stderr))
        return 1
    # The premise: a member starts in one part and ends in the next.
    sizes = [os.path.getsize(os.path.join(scratch, p)) for p in parts]
    spanning = [name for name, disk, offset, size in central_entries(os.path.join(scratch, "a.zip"))
                if disk < 2 and offset + size > sizes[disk]]
    check(spanning, "no member spans two parts: %r" % central_entries(os.path.join(scratch, "a.zip")))

    code, out, err = run(tunzip, "-l", "a.zip", cwd=scratch)
    check(code == 0 and all(name in out for name in members), "-l: %d %r" % (code, err))
    for threads in ("1", "3"):
        code, out, err = run(tunzip, "--threads", threads, "-t", "a.zip", cwd=scratch)
        check(code == 0 and "No errors detected" in out, "-t on %s threads: %d %r %r"
              % (threads, code, out, err))
        target = os.path.join(scratch, "out" + threads)
        code, out, err = run(tunzip, "--threads", threads, "-q", "a.zip", "-d", target, cwd=scratch)
        check(code == 0 and files_below(target) == members,
              "extraction on %s threads: %d %r" % (threads, code, err))

    # The same set with ZIP64 records (zip -fz): the locator counts the disks
    # and names the one its record stands on.
    made = subprocess.run(["zip", "-q", "-fz", "-s", "64k", "-r", "../b.zip", *members], cwd=source,
                          capture_output=True, timeout=60)
    code, out, err = run(tunzip, "-q", "b.zip", "-d", "out64", cwd=scratch)
    check(made.returncode == 0 and os.path.exists(os.path.join(scratch, "b.z02")) and code == 0
          and files_below(os.path.join(scratch, "out64")) == members,
          "ZIP64 split set: zip %d, tunzip %d %r" % (made.returncode, code, err))

    # A directory too large for one part: it begins in one part and fills
    # the last up to the end record.
    many = os.path.join(scratch, "many")
    os.makedirs(many)
    names = ["member-with-a-name-long-enough-to-fill-the-directory-%04d.txt" % i
             for i in range(700)]
    for name in names:
        with open(os.path.join(many, name), "wb") as f:
            f.write(name.encode())
    made = subprocess.run(["zip", "-q", "-s", "64k", "../c.zip", *names], cwd=many,
                          capture_output=True, timeout=60)
    code, out, err = run(tunzip, "-Z1", "c.zip", cwd=scratch)
    listed = out.splitlines()
    code_t, _, err_t = run(tunzip, "-tqq", "c.zip", cwd=scratch)
    check(made.returncode == 0 and open(os.path.join(scratch, "c.zip"), "rb").read(4) == b"PK\x01\x02"
          and code == 0 and listed == names and code_t == 0,
          "a directory across parts: zip %d, -Z1 %d (%d names) %r, -t %d %r"
          % (made.returncode, code, len(listed), err, code_t, err_t))

    # A part other than the last says how the set is read.
    code, out, err = run(tunzip, "-t", "a.z01", cwd=scratch)
    check(code == 2 and "a split set is read by its last part" in err, "a.z01: %d %r" % (code, err))

    # A middle part gone: named, and nothing extracted.
    shutil.move(os.path.join(scratch, "a.z02"), os.path.join(scratch, "away.z02"))
    for args in (["-t"], ["-l"], ["-q", "-d", "partial"]):
        code, out, err = run(tunzip, *args, "a.zip", cwd=scratch)
        check(code == 9 and err == "tunzip: a.zip: split archive: file 2 of 3 (a.z02) is missing\n",
              "missing part %r: %d %r" % (args, code, err))
    check(not os.path.exists(os.path.join(scratch, "partial")), "a missing part made the target")

    for failure in failures:
        print("FAIL:", failure)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
