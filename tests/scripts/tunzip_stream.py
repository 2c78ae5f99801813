#!/usr/bin/env python3
"""tunzip reading an archive it cannot seek in: standard input as `-` (a real
pipe) and a FIFO. Archives come from writers that cannot seek back either
(Info-ZIP zip writing to a pipe, Python's zipfile on a stream: data
descriptors, ZIP64), so the members are found by their local headers.
Extraction, tests and listings are compared with tunzip on the same bytes as
a file and with bsdtar reading the same pipe; a stored member whose size only
its descriptor holds, a hostile name and a directory that contradicts its
members are each refused or reported as for a file.

usage: tunzip_stream.py TUNZIP SCRATCH_DIR
"""
import io
import os
import subprocess
import sys
import threading
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer_tools  # noqa: E402

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(command, data=None, cwd=None):
    p = subprocess.run(command, input=data, capture_output=True, timeout=120, cwd=cwd,
                       stdin=None if data is not None else subprocess.DEVNULL)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


class OneWay(io.RawIOBase):
    """A stream zipfile cannot seek in or ask the position of."""

    def __init__(self):
        self.bytes = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.bytes += b
        return len(b)


def streamed(members, compression=zipfile.ZIP_DEFLATED, force_zip64=False):
    sink = OneWay()
    with zipfile.ZipFile(sink, "w", compression) as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, (2020, 1, 2, 3, 4, 6))
            info.compress_type = compression
            with z.open(info, "w", force_zip64=force_zip64) as f:
                f.write(data)
    return bytes(sink.bytes)


def files_below(folder):
    out = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            out[os.path.relpath(path, folder)] = open(path, "rb").read()
    return out


def main():
    tunzip, scratch = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    peer_tools.require("zip", "bsdtar")
    peer_tools.fresh(scratch)
    source = os.path.join(scratch, "source")
    os.makedirs(os.path.join(source, "sub"))
    members = {"a.txt": b"hello stream\n" * 5000, "sub/b.bin": os.urandom(300000),
               "sub/empty": b""}
    for name, data in members.items():
        open(os.path.join(source, name), "wb").write(data)

    # Info-ZIP zip writing to a pipe: descriptors with their signature.
    piped = subprocess.run(["zip", "-q", "-r", "-", "a.txt", "sub"], cwd=source,
                           capture_output=True, check=True).stdout
    target = os.path.join(scratch, "out")
    code, out, err = run([tunzip, "-d", target, "-"], piped)
    check(code == 0, "zip - | tunzip -: exit %d, %s" % (code, err))
    check(files_below(target) == members, "zip - | tunzip -: files differ from the source")
    archive = os.path.join(scratch, "piped.zip")
    open(archive, "wb").write(piped)
    file_listing = run([tunzip, "-l", archive])[1].splitlines()[1:]
    code, out, err = run([tunzip, "-l", "-"], piped)
    check(code == 0 and out.splitlines()[1:] == file_listing,
          "tunzip -l - lists what tunzip -l lists of the file: %d %s %s" % (code, out, err))
    names = sorted(run([tunzip, "-Z1", "-"], piped)[1].split())
    bsdtar = sorted(run(["bsdtar", "-tf", "-"], piped)[1].split())
    check(names == bsdtar, "tunzip -Z1 - and bsdtar -tf - name %s and %s" % (names, bsdtar))

    # Python's zipfile on a stream: descriptors, 32-bit and ZIP64 sizes; a FIFO.
    for zip64 in (False, True):
        data = streamed([("x.txt", b"x" * 70000), ("y.txt", b"why\n")], force_zip64=zip64)
        fifo = os.path.join(scratch, "fifo%d" % zip64)
        os.mkfifo(fifo)
        writer = threading.Thread(target=lambda: open(fifo, "wb").write(data))
        writer.start()
        code, out, err = run([tunzip, "-t", fifo])
        writer.join()
        check(code == 0 and "No errors detected" in out,
              "zipfile (ZIP64 %s) through a FIFO: exit %d, %s" % (zip64, code, err))
        code, out, err = run([tunzip, "-p", "-", "y.txt"], data)
        check(code == 0 and out == "why\n", "tunzip -p - y.txt: %d %r %s" % (code, out, err))

    # -LL lowercases every name of a stream; -L, which needs each member's
    # system from the directory at the end, is refused before anything is
    # written.
    mixed = streamed([("Mixed/Case.TXT", b"m\n")])
    target = os.path.join(scratch, "lowered")
    code, out, err = run([tunzip, "-LL", "-qd", target, "-"], mixed)
    check(code == 0 and list(files_below(target)) == ["mixed/case.txt"],
          "-LL from a pipe: exit %d, %r, %s" % (code, list(files_below(target)), err))
    target = os.path.join(scratch, "lowered-by-host")
    code, out, err = run([tunzip, "-L", "-qd", target, "-"], mixed)
    check(code == 10 and "-L" in err and not os.path.exists(target),
          "-L from a pipe: exit %d, %s" % (code, err))

    # Traditional encryption with a descriptor: the check byte is the time's.
    secret = subprocess.run(["zip", "-q", "-P", "secret", "-", "a.txt"], cwd=source,
                            capture_output=True, check=True).stdout
    code, out, err = run([tunzip, "-t", "-P", "secret", "-"], secret)
    check(code == 0, "an encrypted member from a pipe: exit %d, %s" % (code, err))

    # A stored member known only by its descriptor cannot be delimited: named,
    # and nothing after it is written.
    stored = streamed([("first", b"1" * 100), ("second", b"2")], zipfile.ZIP_STORED)
    target = os.path.join(scratch, "stored")
    code, out, err = run([tunzip, "-d", target, "-"], stored)
    check(code not in (0, 1) and "first" in err and not os.path.exists(os.path.join(target, "second")),
          "a stored member with a descriptor: exit %d, %s" % (code, err))

    # A hostile name is refused as it is for a file, with the same exit code.
    evil = streamed([("../evil", b"owned"), ("fine", b"ok")])
    open(os.path.join(scratch, "evil.zip"), "wb").write(evil)
    target = os.path.join(scratch, "hostile", "in")
    os.makedirs(target)
    code, out, err = run([tunzip, "-d", target, "-"], evil)
    file_code = run([tunzip, "-t", os.path.join(scratch, "evil.zip")])[0]
    as_file = run([tunzip, "-d", os.path.join(scratch, "hostile", "f"),
                   os.path.join(scratch, "evil.zip")])[0]
    check(not os.path.exists(os.path.join(scratch, "hostile", "evil")) and code == as_file
          and os.path.exists(os.path.join(target, "fine")),
          "../evil from a pipe: exit %d (as a file %d, tested %d), %s" % (code, as_file, file_code, err))

    # A directory whose CRC-32 contradicts the member's: reported, exit 1.
    lying = bytearray(streamed([("one", b"one\n")]))
    at = lying.find(b"PK\x01\x02")
    lying[at + 16] ^= 0xFF
    code, out, err = run([tunzip, "-t", "-"], bytes(lying))
    check(code == 1 and "CRC-32" in err, "a lying directory: exit %d, %s" % (code, err))

    # A program in front whose offsets leave it out: UnZip's warning, exit 1.
    code, out, err = run([tunzip, "-t", "-"], b"MZ" + b"\0" * 998 + piped)
    check(code == 1 and "1000 extra bytes" in err, "bytes in front: exit %d, %s" % (code, err))

    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("tunzip reads archives from pipes and FIFOs")


if __name__ == "__main__":
    main()
