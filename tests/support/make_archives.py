#!/usr/bin/env python3
"""Makes the real-world and hostile archives the reader's tests open.

usage: make_archives.py OUTPUT_DIR

Real producers where they exist (Info-ZIP zip, 7-Zip, bsdtar, Python's
zipfile), Python's struct where an archive must be built byte by byte (zip
bombs, a lying size, fields no tool writes alone). A missing producer is an
error that names its Debian package: the tests would otherwise lose cases
without anyone noticing.
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

PRODUCERS = {"zip": "zip", "7zz": "7zip", "bsdtar": "libarchive-tools"}
OLD_TIME = 171_936_000  # 1975-06-15, before the DOS range
FUTURE_TIME = 7_258_118_400  # 2200-01-01, after it


def need(tool):
    path = shutil.which(tool)
    if path is None:
        sys.exit("make_archives: %s is missing (install the Debian package %s)"
                 % (tool, PRODUCERS[tool]))
    return path


def run(args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def raw_deflate(data, level=9):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def local_header(name, method, crc, csize, usize, extra=b"", flags=0, version=20):
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, version, flags, method, 0x6000, 0x5A8E,
                       crc, csize, usize, len(name), len(extra)) + name + extra


def central_header(name, method, crc, csize, usize, offset, extra=b"", flags=0, host=3,
                   attributes=0o100644 << 16, version=20):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, (host << 8) | 30, version, flags,
                       method, 0x6000, 0x5A8E, crc, csize, usize, len(name), len(extra), 0, 0,
                       0, attributes, offset) + name + extra


def end_record(count, size, offset):
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, size, offset, 0)


def unix_tree(folder):
    """A folder as `zip -r` on Linux finds it: non-ASCII names, an executable
    script, a symbolic link and files with times outside the DOS range."""
    os.makedirs(os.path.join(folder, "ünï"))
    with open(os.path.join(folder, "ünï", "fïle.txt"), "w") as f:
        f.write("hello from Linux\n")
    with open(os.path.join(folder, "run.sh"), "w") as f:
        f.write("#!/bin/sh\necho hi\n")
    os.chmod(os.path.join(folder, "run.sh"), 0o755)
    os.symlink("ünï/fïle.txt", os.path.join(folder, "link"))
    for name, when in (("old.txt", OLD_TIME), ("future.txt", FUTURE_TIME)):
        path = os.path.join(folder, name)
        with open(path, "w") as f:
            f.write("outside the DOS range\n")
        os.utime(path, (when, when))


def make_producer_archives(out, work):
    tree = os.path.join(work, "tree")
    os.makedirs(tree)
    unix_tree(tree)
    zip_tool, seven, bsdtar = need("zip"), need("7zz"), need("bsdtar")
    run([zip_tool, "-q", "-r", "-y", os.path.join(out, "linux_zip.zip"), "."], tree)
    run([zip_tool, "-q", "-r", "-y", "-fz", os.path.join(out, "linux_zip64.zip"), "."], tree)
    # Read from a pipe, zip cannot seek back: data descriptors follow the data.
    with open(os.path.join(tree, "run.sh"), "rb") as source:
        piped = subprocess.run([zip_tool, "-q", "-", "-"], stdin=source, check=True,
                               stdout=subprocess.PIPE).stdout
    open(os.path.join(out, "zip_stream.zip"), "wb").write(piped)
    run([seven, "a", "-tzip", "-snl", os.path.join(out, "7zz.zip"), "."], tree)
    run([bsdtar, "--format", "zip", "-cf", os.path.join(out, "bsdtar.zip"), "."], tree)
    run([bsdtar, "--format", "zip", "--options", "zip:zip64", "-cf",
         os.path.join(out, "bsdtar_zip64.zip"), "."], tree)


def make_python_archives(out):
    names = ["中文.txt", "日本.txt", "файл.txt", "ελληνικά.txt", "עברית.txt", "😀.txt",
             "e\u0301.txt", "Readme.txt", "README.TXT"]
    with zipfile.ZipFile(os.path.join(out, "python_unicode.zip"), "w",
                         zipfile.ZIP_DEFLATED) as z:
        for name in names:
            z.writestr(name, ("member %s\n" % name).encode())
    # Written to a pipe: data descriptors, 8-byte sizes for forced ZIP64.
    for name, force in (("python_stream.zip", False), ("python_stream64.zip", True)):
        buffer = io.BytesIO()

        class Unseekable(io.RawIOBase):
            def writable(self):
                return True

            def write(self, b):
                return buffer.write(b)

        with zipfile.ZipFile(Unseekable(), "w", zipfile.ZIP_DEFLATED) as z:
            for i in range(3):
                with z.open("s%d.txt" % i, "w", force_zip64=force) as member:
                    member.write(b"streamed %d\n" % i * 100)
        open(os.path.join(out, name), "wb").write(buffer.getvalue())
    # More members than a 16-bit count holds: zipfile writes the ZIP64 records.
    with zipfile.ZipFile(os.path.join(out, "many_members.zip"), "w") as z:
        for i in range(70_000):
            z.writestr("m/%05d" % i, b"%d" % i)


def make_struct_archives(out):
    # A name only the Unicode Path field gives: stored in code page 437 on
    # MS-DOS, where rules 1 and 3 do not apply.
    stored = "Ärger.txt".encode("cp437")
    utf8 = "Ärger€.txt".encode()
    field = struct.pack("<B", 1) + struct.pack("<I", zlib.crc32(stored)) + utf8
    extra = struct.pack("<HH", 0x7075, len(field)) + field
    data = b"unicode path\n"
    crc = zlib.crc32(data)
    lh = local_header(stored, 0, crc, len(data), len(data), extra) + data
    cd = central_header(stored, 0, crc, len(data), len(data), 0, extra, host=0,
                        attributes=0x20)
    open(os.path.join(out, "unicode_path_only.zip"), "wb").write(
        lh + cd + end_record(1, len(cd), len(lh)))

    # The full-overlap bomb: 50 directory entries, one local header.
    kernel_data = b"\0" * (4 << 20)
    kernel = raw_deflate(kernel_data)
    crc = zlib.crc32(kernel_data)
    lh = local_header(b"0", 8, crc, len(kernel), len(kernel_data)) + kernel
    cd = b"".join(central_header(b"%d" % i, 8, crc, len(kernel), len(kernel_data), 0)
                  for i in range(50))
    open(os.path.join(out, "overlap_full.zip"), "wb").write(
        lh + cd + end_record(50, len(cd), len(lh)))

    # The quoted-overlap bomb: each member's data begins with a stored block
    # that quotes the next member's local header, then runs on into it, so
    # every member is valid Deflate that ends in the shared kernel.
    count = 10
    names = [b"q%d" % i for i in range(count)]
    members = [None] * count
    tail_data, tail = kernel_data, kernel  # the last member: the kernel alone
    for i in reversed(range(count)):
        crc = zlib.crc32(tail_data)
        header = local_header(names[i], 8, crc, len(tail), len(tail_data))
        members[i] = (header, crc, len(tail), len(tail_data))
        if i > 0:
            quote = struct.pack("<BHH", 0, len(header), len(header) ^ 0xFFFF)
            tail, tail_data = quote + header + tail, header + tail_data
    body = b""
    offsets = []
    for i, (header, crc, csize, usize) in enumerate(members):
        offsets.append(len(body))
        body += header
        if i + 1 < count:
            body += struct.pack("<BHH", 0, len(members[i + 1][0]), len(members[i + 1][0]) ^ 0xFFFF)
    body += kernel
    cd = b"".join(central_header(names[i], 8, m[1], m[2], m[3], offsets[i])
                  for i, m in enumerate(members))
    open(os.path.join(out, "overlap_quoted.zip"), "wb").write(
        body + cd + end_record(count, len(cd), len(body)))

    # The same quotes with spans that do not overlap: each member declares
    # only its 5-byte quote, so its data must run on into the next member's
    # header to decode. Once as Deflate around the zlib kernel, once as
    # Deflate64 around a final stored block (zlib's matches of 258 bytes mean
    # something else there).
    for name, method, kernel_data, kernel in (
            ("quoted_short.zip", 8, kernel_data, kernel),
            ("quoted_short64.zip", 9, b"k" * 1000,
             struct.pack("<BHH", 1, 1000, 1000 ^ 0xFFFF) + b"k" * 1000)):
        headers = [None] * count
        tail_data = kernel_data
        for i in reversed(range(count)):
            csize = len(kernel) if i + 1 == count else 5
            headers[i] = local_header(names[i], method, zlib.crc32(tail_data), csize,
                                      len(tail_data))
            if i > 0:
                tail_data = headers[i] + tail_data
        body = b""
        cd = b""
        for i, header in enumerate(headers):
            cd += central_header(names[i], method, *struct.unpack("<III", header[14:26]),
                                 len(body))
            body += header
            if i + 1 < count:
                body += struct.pack("<BHH", 0, len(headers[i + 1]), len(headers[i + 1]) ^ 0xFFFF)
        body += kernel
        open(os.path.join(out, name), "wb").write(body + cd + end_record(count, len(cd), len(body)))

    # A stored member whose declared size is 5 bytes short of the next
    # member's header and data, which it would copy as its own.
    inner = local_header(b"b.txt", 0, zlib.crc32(b"bbbb"), 4, 4) + b"bbbb"
    outer = local_header(b"a.txt", 0, zlib.crc32(b"aaaaa" + inner), 5, 5 + len(inner)) + b"aaaaa"
    cd = (central_header(b"a.txt", 0, zlib.crc32(b"aaaaa" + inner), 5, 5 + len(inner), 0) +
          central_header(b"b.txt", 0, zlib.crc32(b"bbbb"), 4, 4, len(outer)))
    open(os.path.join(out, "stored_short.zip"), "wb").write(
        outer + inner + cd + end_record(2, len(cd), len(outer + inner)))

    # A lying size: the directory declares 1,000 bytes, the data inflates to
    # 1 MB with the CRC-32 of all of it.
    big = bytes(range(256)) * 4096
    packed = raw_deflate(big)
    crc = zlib.crc32(big)
    lh = local_header(b"liar.bin", 8, crc, len(packed), 1000) + packed
    cd = central_header(b"liar.bin", 8, crc, len(packed), 1000, 0)
    open(os.path.join(out, "lying_size.zip"), "wb").write(
        lh + cd + end_record(1, len(cd), len(lh)))


def make_shifted_archives(out):
    # A program with a ZIP appended by plain concatenation: the offsets count
    # from the start of the ZIP part. Once plain, once with ZIP64 records.
    stub = b"MZ" + bytes(range(256)) * 20
    for source, target in (("linux_zip.zip", "shifted.exe"), ("linux_zip64.zip", "shifted64.exe")):
        data = open(os.path.join(out, source), "rb").read()
        open(os.path.join(out, target), "wb").write(stub + data)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        for name in os.listdir(out):
            os.remove(os.path.join(out, name))
        make_producer_archives(out, work)
        make_python_archives(out)
        make_struct_archives(out)
        make_shifted_archives(out)
    open(os.path.join(out, "stamp"), "w").write("made\n")


if __name__ == "__main__":
    main()
