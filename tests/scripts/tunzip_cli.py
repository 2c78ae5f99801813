#!/usr/bin/env python3
"""tunzip's command line: options, masks, names, messages and exit codes.

usage: tunzip_cli.py TUNZIP SCRATCH_DIR
"""
import os
import struct
import subprocess
import sys
import zlib

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def zip_bytes(members, total=None, prefix=b""):
    """members: (raw name bytes, data bytes, flags). Stored members."""
    out = bytearray(prefix)
    central = bytearray()
    for name, data, flags in members:
        offset = len(out)
        crc = zlib.crc32(data)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, 0, 0x6000, 0x5A8E, crc,
                           len(data), len(data), len(name), 0) + name + data
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, 0, 0x6000,
                               0x5A8E, crc, len(data), len(data), len(name), 0, 0, 0, 0, 0x20,
                               offset) + name
    count = len(members) if total is None else total
    directory = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), directory, 0)
    return bytes(out)


def run(tunzip, *args, cwd=None):
    result = subprocess.run([tunzip, *args], capture_output=True, timeout=60, cwd=cwd)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")


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
    check(code == 10 and "usage" in err, "no arguments: exit %d %r" % (code, err))
    code, out, err = run(tunzip, "-Z", sample)
    check(code == 10 and "unknown option -Z" in err, "unknown option: exit %d" % code)
    code, out, err = run(tunzip, "-t", "-d", "x", sample)
    check(code == 10, "-d with -t: exit %d" % code)

    code, out, err = run(tunzip, "-l", "--tsv", sample)
    names = [line.split("\t")[8] for line in out.splitlines()]
    check(code == 0, "tsv listing: exit %d %s" % (code, err))
    check(names == ["docs/readme.txt", "caf\u00e9.txt", "na\u00efve-\u20ac.txt",
                    "tab\\x09here.bin", "docs/"], "names: %r" % names)
    first = out.splitlines()[0].split("\t")
    check(first[:8] == ["0", "0", "0000", "7", "7", "%08x" % zlib.crc32(b"read me"), "0",
                        "2025-04-14 12:00:00"], "first row: %r" % first)

    code, out, err = run(tunzip, "-l", sample)
    check(code == 0 and out.startswith("Archive:  " + sample), "plain listing header: %r" % out[:80])
    check(out.rstrip().endswith("5 files"), "plain listing totals: %r" % out[-80:])
    check("Stored" in out and "caf\u00e9.txt" in out, "plain listing rows")

    code, out, err = run(tunzip, "-l", "--tsv", sample, "*.TXT", "-x", "CAF*")
    names = [line.split("\t")[8] for line in out.splitlines()]
    check(code == 0 and names == ["docs/readme.txt", "na\u00efve-\u20ac.txt"],
          "masks and exclusions: %d %r" % (code, names))
    code, out, err = run(tunzip, "-l", "--tsv", sample, "caf\u00e9.txt")
    check(code == 0 and len(out.splitlines()) == 1, "mask typed in UTF-8: %d %r" % (code, out))
    code, out, err = run(tunzip, "-l", "--tsv", sample, "docs\\*", "nothing.here")
    check(code == 11 and "caution: filename not matched:  nothing.here" in err
          and len(out.splitlines()) == 1, "unmatched mask: %d %r" % (code, err))

    # The user's own spelling of the path, relative and with "..", in messages.
    code, out, err = run(tunzip, "-l", "--tsv", "../" + os.path.basename(scratch) + "/sample.zip",
                         cwd=scratch)
    check(code == 0 and len(out.splitlines()) == 5, "relative path: %d %s" % (code, err))
    code, out, err = run(tunzip, "-l", "missing.zip", cwd=scratch)
    check(code == 9 and err.strip() == "tunzip: missing.zip: Cannot open file missing.zip",
          "missing archive: %d %r" % (code, err))
    write("text.txt", b"just some text, no archive at all" * 10)
    code, out, err = run(tunzip, "-l", "text.txt", cwd=scratch)
    check(code == 9 and err.strip() == "tunzip: text.txt: Invalid file - not a PKZip file",
          "not an archive: %d %r" % (code, err))
    write("short.zip", b"PK\x05\x06")
    code, out, err = run(tunzip, "-l", "short.zip", cwd=scratch)
    check(code == 9 and err.startswith("tunzip: short.zip: "), "short file: %d %r" % (code, err))

    damaged = bytearray(zip_bytes([(b"a", b"1", 0), (b"b", b"2", 0)]))
    second = damaged.find(b"PK\x01\x02", damaged.find(b"PK\x01\x02") + 1)
    damaged[second + 2] = 0x09
    write("damaged.zip", bytes(damaged))
    code, out, err = run(tunzip, "-l", "damaged.zip", cwd=scratch)
    check(code == 3 and "Invalid file - not a PKZip file" in err, "damaged: %d %r" % (code, err))

    write("empty.zip", zip_bytes([]))
    code, out, err = run(tunzip, "-l", "--tsv", "empty.zip", cwd=scratch)
    check(code == 1 and out == "" and "zipfile is empty" in err, "empty: %d %r" % (code, err))
    write("zero-count.zip", zip_bytes([(b"a", b"1", 0), (b"b", b"2", 0)], total=0))
    code, out, err = run(tunzip, "-l", "--tsv", "zero-count.zip", cwd=scratch)
    check(code == 0 and len(out.splitlines()) == 2, "zero entry count: %d %r" % (code, err))
    long_name = (b"deep/" * 80) + b"x" * 300 + b".txt"
    write("long.zip", zip_bytes([(long_name, b"L", 0)]))
    code, out, err = run(tunzip, "-l", "--tsv", "long.zip", cwd=scratch)
    check(code == 0 and out.rstrip("\r\n").split("\t")[8] == long_name.decode(),
          "long name: %d %r" % (code, err))

    for failure in failures:
        print("FAIL:", failure)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
