#!/usr/bin/env python3
"""The methods and the cipher read through registered libraries (bzip2,
LZMA, XZ, Zstandard, WinZip AES), from every producer here that writes them:
7-Zip, Info-ZIP zip, Python's zipfile, and for Zstandard members written
here around frames of the `zstd` tool. Each member's bytes must equal
7-Zip's; a wrong password, a changed byte of the data or of the
authentication code, a damaged stream and a member larger than it declares
each fail that member with UnZip's exit code and leave no file behind.

usage: tunzip_methods.py TUNZIP SCRATCH_DIR [--lacking]

--lacking: the build has no compression libraries (tunzip.exe when they
were not cross-built): the four methods are refused by name, exit 81.
"""
import os
import struct
import subprocess
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer_tools  # noqa: E402

PASSWORD = "s3cret"
failures = []
checks = [0]


def check(ok, what):
    checks[0] += 1
    if not ok:
        failures.append(what)


def make_sources(folder):
    """Compressible text, incompressible bytes and an empty file."""
    text = b"".join(b"line %d of the methods test, %s\n" % (i, b"x" * (i % 37))
                    for i in range(12000))
    files = {"text.txt": text, "random.bin": os.urandom(70000), "empty": b""}
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return files


def zstd_frame(data, level):
    return subprocess.run(["zstd", "-q", "-c", "-%d" % level], input=data,
                          capture_output=True, check=True).stdout


def write_raw_zip(path, members, flags=0):
    """A ZIP of (name, method, data, compressed) members, each written as
    it is given: what no tool here writes."""
    out, central = bytearray(), bytearray()
    for name, method, data, packed in members:
        crc = zlib.crc32(data)
        fixed = struct.pack("<HHHHHIII", 63, flags, method, 0, 0x21, crc, len(packed), len(data))
        offset = len(out)
        out += b"PK\x03\x04" + fixed + struct.pack("<HH", len(name), 0) + name + packed
        central += (b"PK\x01\x02" + struct.pack("<H", 63) + fixed +
                    struct.pack("<HHHHHII", len(name), 0, 0, 0, 0, 0o100644 << 16, offset) + name)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(central),
                      len(out), 0)
    with open(path, "wb") as f:
        f.write(out + central + end)


def make_archives(folder, files):
    names = sorted(files)
    archives = {}

    def sevenzip(label, *options):
        path = os.path.join(folder, label + ".zip")
        result = peer_tools.run(["7zz", "a", "-tzip", *options, path, *names], cwd=folder)
        check(result.code == 0, "7zz %s: %r" % (label, result))
        archives[label] = path

    for method in ("BZip2", "LZMA", "xz"):
        sevenzip("7zz-" + method, "-mm=" + method)
    # LZMA without its end marker: the member's size ends the stream.
    sevenzip("7zz-LZMA-no-end-marker", "-m0=LZMA", "-m0eos=off")
    for bits in ("128", "192", "256"):
        sevenzip("7zz-AES" + bits, "-p" + PASSWORD, "-mem=AES" + bits)
    # AES around a method of the libraries' own.
    sevenzip("7zz-AES256-LZMA", "-p" + PASSWORD, "-mem=AES256", "-mm=LZMA")
    # Written to a pipe, 7-Zip puts data descriptors behind the members.
    piped = os.path.join(folder, "7zz-AES128-descriptors.zip")
    with open(piped, "wb") as f:
        subprocess.run(["7zz", "a", "-tzip", "-so", "-p" + PASSWORD, "-mem=AES128", "x", *names],
                       cwd=folder, stdout=f, stderr=subprocess.DEVNULL, check=True)
    archives["7zz-AES128-descriptors"] = piped

    path = os.path.join(folder, "zip-bzip2.zip")
    check(peer_tools.run(["zip", "-q", "-Z", "bzip2", path, *names], cwd=folder).code == 0,
          "zip -Z bzip2")
    archives["zip-bzip2"] = path
    # The traditional cipher around bzip2.
    path = os.path.join(folder, "zip-bzip2-traditional.zip")
    check(peer_tools.run(["zip", "-q", "-Z", "bzip2", "-P", PASSWORD, path, *names],
                         cwd=folder).code == 0, "zip -Z bzip2 -P")
    archives["zip-bzip2-traditional"] = path
    for label, method in (("python-bzip2", zipfile.ZIP_BZIP2), ("python-lzma", zipfile.ZIP_LZMA)):
        path = os.path.join(folder, label + ".zip")
        with zipfile.ZipFile(path, "w", method) as z:
            for name in names:
                z.writestr(name, files[name])
        archives[label] = path

    # Zstandard, 93 and the early writers' 20; text in two frames.
    for label, method in (("zstd-93", 93), ("zstd-20", 20)):
        path = os.path.join(folder, label + ".zip")
        members = []
        for name in names:
            data = files[name]
            packed = (zstd_frame(data[:len(data) // 2], 3) + zstd_frame(data[len(data) // 2:], 19)
                      if name == "text.txt" else zstd_frame(data, 3))
            members.append((name.encode(), method, data, packed))
        write_raw_zip(path, members)
        archives[label] = path

    archives["AE-1"] = ae1_from(archives["7zz-AES192"], folder, files)
    return archives


def data_start(raw, info):
    name_length, extra_length = struct.unpack_from("<HH", raw, info.header_offset + 26)
    return info.header_offset + 30 + name_length + extra_length


def patched(source, folder, label, change):
    """A copy of source with change(bytearray, zipfile.ZipInfo of text.txt)
    applied."""
    raw = bytearray(open(source, "rb").read())
    info = zipfile.ZipFile(source).getinfo("text.txt")
    change(raw, info)
    path = os.path.join(folder, label + ".zip")
    with open(path, "wb") as f:
        f.write(raw)
    return path


def header_offsets(raw, info):
    """Where the member's local and central headers start."""
    central = raw.find(b"PK\x01\x02" + raw[info.header_offset + 4:info.header_offset + 6])
    while struct.unpack_from("<I", raw, central + 42)[0] != info.header_offset:
        central = raw.find(b"PK\x01\x02", central + 4)
    return info.header_offset, central


def ae1_from(source, folder, files):
    """7-Zip writes AE-2, without CRC-32: the same archive as AE-1, the
    CRC-32s filled in, as WinZip writes larger files."""
    raw = bytearray(open(source, "rb").read())
    for info in zipfile.ZipFile(source).infolist():
        local, central = header_offsets(raw, info)
        crc = zlib.crc32(files[info.filename])
        struct.pack_into("<I", raw, local + 14, crc)
        struct.pack_into("<I", raw, central + 16, crc)
        for header, lengths_at, name_at in ((local, 26, 30), (central, 28, 46)):
            name_length, extra_length = struct.unpack_from("<HH", raw, header + lengths_at)
            extra = header + name_at + name_length
            block = raw.find(b"\x01\x99", extra, extra + extra_length)
            struct.pack_into("<H", raw, block + 4, 1)
    path = os.path.join(folder, "AE-1.zip")
    with open(path, "wb") as f:
        f.write(raw)
    return path


def tunzip(tool, *args):
    return peer_tools.run([tool, *args], timeout=120)


def check_reads(tool, archives, files, lacking):
    for label, path in archives.items():
        listing = tunzip(tool, "-v", path)
        encrypted = "AES" in label or label in ("AE-1", "zip-bzip2-traditional")
        password = ["-P", PASSWORD] if encrypted else []
        library_method = any(m in label for m in ("BZip2", "bzip2", "LZMA", "lzma", "xz", "zstd"))
        if lacking and library_method:
            result = tunzip(tool, "-t", *password, path)
            check(result.code == 81 and "this build of the reader lacks it" in result.err,
                  "%s: not refused as lacking: %r" % (label, result))
            continue
        tested = tunzip(tool, "-t", *password, path)
        check(tested.code == 0, "%s: -t %r" % (label, tested))
        for name in files:
            ours = tunzip(tool, "-p", *password, path, name)
            check(ours.code == 0 and ours.out_bytes == files[name],
                  "%s/%s: tunzip -p %r" % (label, name, ours))
            # 7-Zip reads only 93, the code Zstandard was given.
            if label == "zstd-20":
                continue
            theirs = peer_tools.run(["7zz", "x", "-so", "-p" + PASSWORD, path, name])
            check(theirs.code == 0 and theirs.out_bytes == ours.out_bytes,
                  "%s/%s: differs from 7-Zip (7zz %r)" % (label, name, theirs))
        expected = {"BZip2": "BZip2", "bzip2": "BZip2", "LZMA": "LZMA", "lzma": "LZMA",
                    "xz": "XZ", "zstd": "Zstd"}
        names = [n for k, n in expected.items() if k in label]
        if encrypted and label != "zip-bzip2-traditional":
            names = [(names[0] if names else "Defl:N") + "+AES"]
        check(all(n in listing.out for n in names), "%s: -v names %s: %s" % (label, names,
                                                                             listing.out))


def fails_member(tool, path, code, message, what, password=PASSWORD):
    """tunzip fails text.txt with code and message, and leaves no file of
    it behind."""
    target = os.path.join(os.path.dirname(path), "out-" + os.path.basename(path))
    peer_tools.fresh(target)
    result = tunzip(tool, "-o", "-P", password, path, "text.txt", "-d", target)
    check(result.code == code and message in result.err, "%s: %r" % (what, result))
    check(not os.path.exists(os.path.join(target, "text.txt")), "%s: left a file behind" % what)


def check_failures(tool, archives, folder, lacking):
    for label in ("7zz-AES128", "7zz-AES256", "AE-1", "7zz-AES128-descriptors"):
        path = archives[label]
        fails_member(tool, path, 82, "invalid password", label + " wrong password", "wrong")

        def flip_data(raw, info):
            raw[data_start(raw, info) + 40] ^= 0x20

        def flip_code(raw, info):
            raw[data_start(raw, info) + info.compress_size - 4] ^= 0x01

        for change, what in ((flip_data, "data"), (flip_code, "code")):
            changed = patched(path, folder, "%s-flipped-%s" % (label, what), change)
            fails_member(tool, changed, 2, "the data was changed", "%s: flipped %s" % (label,
                                                                                      what))

    # AE-1 keeps its CRC-32, and it is checked.
    def wrong_crc(raw, info):
        local, central = header_offsets(raw, info)
        for at in (local + 14, central + 16):
            raw[at] ^= 0xFF

    fails_member(tool, patched(archives["AE-1"], folder, "AE-1-bad-crc", wrong_crc), 2,
                 "CRC", "AE-1 with a wrong CRC-32")
    if lacking:
        return

    for label in ("7zz-BZip2", "7zz-LZMA", "7zz-xz", "zip-bzip2", "python-lzma", "zstd-93"):
        path = archives[label]

        def damage(raw, info):
            start = data_start(raw, info) + info.compress_size // 2
            raw[start:start + 16] = bytes(16)

        def shrink(raw, info):
            local, central = header_offsets(raw, info)
            struct.pack_into("<I", raw, local + 22, info.file_size - 1)
            struct.pack_into("<I", raw, central + 24, info.file_size - 1)

        fails_member(tool, patched(path, folder, label + "-damaged", damage), 2, "",
                     label + " damaged stream")
        fails_member(tool, patched(path, folder, label + "-shrunk", shrink), 2,
                     "more data than the size", label + " larger than declared")

    # PPMd stays unread, and says so by name.
    ppmd = os.path.join(folder, "7zz-PPMd.zip")
    peer_tools.run(["7zz", "a", "-tzip", "-mm=PPMd", ppmd, "text.txt"], cwd=folder)
    result = tunzip(tool, "-t", ppmd)
    check(result.code == 81 and "unsupported compression method 98 (PPMd)" in result.err,
          "PPMd: %r" % result)


def main():
    tool, scratch = sys.argv[1], sys.argv[2]
    lacking = "--lacking" in sys.argv[3:]
    peer_tools.require("7zz", "zip", "zstd")
    peer_tools.fresh(scratch)
    files = make_sources(scratch)
    archives = make_archives(scratch, files)
    check_reads(tool, archives, files, lacking)
    check_failures(tool, archives, scratch, lacking)
    for failure in failures:
        print("FAIL:", failure)
    print("%d archives, %d checks, %d failures" % (len(archives), checks[0], len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
