#!/usr/bin/env python3
"""Checks `tunzip -l --tsv` against Python's zipfile on every corpus archive.

usage: corpus_listing.py TUNZIP CORPUS_DIR

For each archive zipfile reads, tunzip must list the same members with the
same index, method, flags, sizes, CRC-32, local header offset (from the start
of the file) and date. Archives whose offsets count from the start of the ZIP
part are listed with a warning (exit 1). Every file in bad/ must give a
listing or a clean error (an exit code of 2, 3 or 9 and one "tunzip: ARCHIVE:
MESSAGE" line), never a crash or a hang.
"""
import os
import subprocess
import sys
import zipfile

# Offsets counted from the start of the ZIP part.
SHIFTED = {
    "compat/la_zip_sfx.exe",
    "compat/la_zip_padded1.zip",
}
ARCHIVE_SUFFIXES = (".zip", ".exe")


def run(tunzip, path):
    try:
        result = subprocess.run([tunzip, "-l", "--tsv", path], capture_output=True, timeout=60)
    except subprocess.TimeoutExpired:
        return None
    return result


def clean_failure(result, path):
    """None when the run ended in a proper error, else what is wrong."""
    if result is None:
        return "hung"
    if result.returncode < 0 or result.returncode >= 128:
        return "crashed (exit %d)" % result.returncode
    if result.returncode == 0:
        return "succeeded"
    lines = result.stderr.decode("utf-8", "replace").strip().splitlines()
    prefix = "tunzip: %s: " % path
    if not lines or not lines[-1].startswith(prefix) or len(lines[-1]) <= len(prefix):
        return "no clear message: %r" % result.stderr[:200]
    return None


def expected_rows(path):
    rows = []
    with zipfile.ZipFile(path) as archive:
        for index, info in enumerate(archive.infolist()):
            y, mo, d, h, mi, s = info.date_time
            rows.append([str(index), str(info.compress_type), "%04x" % info.flag_bits,
                         str(info.compress_size), str(info.file_size), "%08x" % info.CRC,
                         str(info.header_offset),
                         "%04d-%02d-%02d %02d:%02d:%02d" % (y, mo, d, h, mi, s)])
    return rows


def check_listing(tunzip, path, rel):
    expected = expected_rows(path)
    result = run(tunzip, path)
    if result is None:
        return ["%s: tunzip hung" % rel]
    if result.returncode not in (0, 1):
        return ["%s: exit %d: %s" % (rel, result.returncode, result.stderr.decode(errors="replace"))]
    got = [line.split("\t") for line in result.stdout.decode("utf-8").splitlines()]
    problems = []
    if len(got) != len(expected):
        problems.append("%s: %d members listed, zipfile has %d" % (rel, len(got), len(expected)))
    for row, want in zip(got, expected):
        if len(row) != 10 or row[:8] != want or not row[9]:
            problems.append("%s: got %s, zipfile has %s" % (rel, row[:8], want))
    return problems


def main():
    tunzip, corpus = sys.argv[1], sys.argv[2]
    if not os.path.isdir(corpus):
        print("corpus not found at %s (skipping)" % corpus)
        return 77
    problems = []
    listed = shifted = bad = 0
    for folder in sorted(os.listdir(corpus)):
        base = os.path.join(corpus, folder)
        if not os.path.isdir(base):
            continue
        for name in sorted(os.listdir(base)):
            rel = folder + "/" + name
            path = os.path.join(base, name)
            if folder == "bad":
                bad += 1
                result = run(tunzip, path)
                if result is not None and result.returncode in (0, 1):
                    continue
                why = clean_failure(result, path)
                if why:
                    problems.append("%s: %s" % (rel, why))
                continue
            if not name.lower().endswith(ARCHIVE_SUFFIXES):
                continue
            if rel in SHIFTED:
                shifted += 1
                result = run(tunzip, path)
                if result is None or result.returncode != 1 or b"extra bytes" not in result.stderr:
                    problems.append("%s: not listed with a warning: %r" % (rel, result))
            try:
                zipfile.ZipFile(path).close()
            except Exception:  # zipfile cannot read it: nothing to compare with
                continue
            listed += 1
            problems.extend(check_listing(tunzip, path, rel))
    for problem in problems:
        print(problem)
    print("%d listings compared (%d shifted), %d damaged files; %d problems"
          % (listed, shifted, bad, len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
