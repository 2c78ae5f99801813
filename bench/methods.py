#!/usr/bin/env python3
"""The registered methods against their libraries' own command-line decoders
on the same streams, and WinZip AES throughput.

usage: methods.py TUNZIP WORK_DIR

About 48 MB of text-like data is compressed once by `bzip2`, `xz`,
`xz --format=lzma` and `zstd`; each stream goes unchanged into a one-member
ZIP (method 12, 95, 14 with its ZIP header, 93). `tunzip -t` on the ZIP is
timed against `TOOL -d -c STREAM > /dev/null` (both decode and check, neither
writes a file): best of five wall-clock runs, taken in turns. AES: a stored
member and the same member under AES-128 and AES-256 (7-Zip), `tunzip -t`.
"""
import os
import random
import struct
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "scripts"))
import tunzip_methods  # noqa: E402

RUNS = 5
SIZE = 48 * 1000 * 1000


def text_like(path):
    if os.path.exists(path) and os.path.getsize(path) >= SIZE:
        return
    rng = random.Random(27)
    words = ["".join(rng.choice("etaoinshrdlucmfwypvbgkjqxz") for _ in range(rng.randint(1, 11)))
             for _ in range(5000)]
    weights = [1.0 / (rank + 1) for rank in range(len(words))]
    with open(path, "w") as out:
        written = 0
        while written < SIZE:
            line = " ".join(rng.choices(words, weights, k=200)) + "\n"
            out.write(line)
            written += len(line)


def best(command, stdout=subprocess.DEVNULL):
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        subprocess.run(command, stdout=stdout, stderr=subprocess.DEVNULL, check=True)
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    tool, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    source = os.path.join(work, "text.txt")
    text_like(source)
    data = open(source, "rb").read()
    rows = []
    streams = (
        ("bzip2", 12, ["bzip2", "-9", "-k", "-c"], ".bz2", ["bzip2", "-d", "-c"]),
        ("LZMA", 14, ["xz", "--format=lzma", "-6", "-c"], ".lzma",
         ["xz", "--format=lzma", "-d", "-c"]),
        ("XZ", 95, ["xz", "-6", "-c"], ".xz", ["xz", "-d", "-c"]),
        ("Zstandard", 93, ["zstd", "-q", "-19", "-c"], ".zst", ["zstd", "-q", "-d", "-c"]),
    )
    for name, method, compress, suffix, decompress in streams:
        stream = os.path.join(work, "text" + suffix)
        if not os.path.exists(stream):
            with open(stream, "wb") as out:
                subprocess.run(compress + [source], stdout=out, check=True)
        packed = open(stream, "rb").read()
        flags = 0
        if method == 14:
            # .lzma: properties (5), size (8), data; a ZIP member: version,
            # the properties' size, the properties, data, the end marker
            # flagged since .lzma from xz always ends with one.
            packed = b"\x10\x02\x05\x00" + packed[:5] + packed[13:]
            flags = 0x0002
        archive = os.path.join(work, "text-%d.zip" % method)
        tunzip_methods.write_raw_zip(archive, [(b"text.txt", method, data, packed)], flags)
        ours = best([tool, "-qq", "-t", archive])
        theirs = best(decompress + [stream])
        rows.append((name, len(packed), ours, theirs))
    print("%-10s %10s %9s %9s %7s" % ("method", "stream", "tunzip", "tool -d", "ratio"))
    for name, size, ours, theirs in rows:
        print("%-10s %10d %8.3fs %8.3fs %6.2fx" % (name, size, ours, theirs, ours / theirs))

    print("\nWinZip AES, a stored %d MB member, tunzip -t" % (SIZE // 1000000))
    for label, options in (("stored", []), ("AES-128", ["-mem=AES128"]),
                           ("AES-256", ["-mem=AES256"])):
        archive = os.path.join(work, "aes-%s.zip" % label)
        if not os.path.exists(archive):
            password = ["-pbench"] if options else []
            subprocess.run(["7zz", "a", "-tzip", "-mm=Copy", *password, *options, archive,
                            source], stdout=subprocess.DEVNULL, check=True)
        seconds = best([tool, "-qq", "-t", "-P", "bench", archive])
        print("%-8s %8.3fs %7.0f MB/s" % (label, seconds, SIZE / seconds / 1e6))
    large_member(tool, work)


def write_zip64_member(path, name, method, size, crc, packed_path):
    """One member above 4 GB: ZIP64 fields in both headers and the ZIP64
    end records; the packed stream is copied from packed_path."""
    packed_size = os.path.getsize(packed_path)
    extra_local = struct.pack("<HHQQ", 1, 16, size, packed_size)
    with open(path, "wb") as out:
        out.write(b"PK\x03\x04" + struct.pack("<HHHHHIIIHH", 45, 0, method, 0, 0x21, crc,
                                                0xFFFFFFFF, 0xFFFFFFFF, len(name),
                                                len(extra_local)) + name + extra_local)
        with open(packed_path, "rb") as stream:
            while True:
                block = stream.read(1 << 20)
                if not block:
                    break
                out.write(block)
        directory = out.tell()
        extra = struct.pack("<HHQQQ", 1, 24, size, packed_size, 0)
        out.write(b"PK\x01\x02" + struct.pack("<HHHHHHIIIHHHHHII", 45, 45, 0, method, 0, 0x21,
                                                crc, 0xFFFFFFFF, 0xFFFFFFFF, len(name),
                                                len(extra), 0, 0, 0, 0, 0xFFFFFFFF) +
                  name + extra)
        end = out.tell()
        out.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1,
                              end - directory, directory))
        out.write(struct.pack("<IIQI", 0x07064B50, 0, end, 1))
        out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF,
                              0xFFFFFFFF, 0))


def large_member(tool, work):
    """A 5 GB Zstandard member (ZIP64): tunzip -t streams it in bounded
    memory."""
    size = 5 * 1024 ** 3
    chunk = (b"a large member streams through fixed buffers\n" * 23000)[:1 << 20]
    stream = os.path.join(work, "large.zst")
    crc = 0
    if not os.path.exists(stream + ".crc"):
        zstd = subprocess.Popen(["zstd", "-q", "-1", "-c"], stdin=subprocess.PIPE,
                                stdout=open(stream, "wb"))
        for _ in range(size // len(chunk)):
            zstd.stdin.write(chunk)
            crc = zlib.crc32(chunk, crc)
        zstd.stdin.close()
        zstd.wait()
        open(stream + ".crc", "w").write(str(crc))
    crc = int(open(stream + ".crc").read())
    archive = os.path.join(work, "large.zip")
    write_zip64_member(archive, b"large.txt", 93, size, crc, stream)
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%M", tool, "-qq", "-t", archive],
                            capture_output=True, text=True)
    seconds = time.perf_counter() - start
    peak = result.stderr.strip().splitlines()[-1]
    print("\n5 GiB Zstandard member (ZIP64), tunzip -t: exit %d, %.1f s, peak %s KB" %
          (result.returncode, seconds, peak))


if __name__ == "__main__":
    main()
