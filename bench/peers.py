#!/usr/bin/env python3
"""Whole-process comparison of tunzip with Info-ZIP UnZip, 7-Zip and bsdtar.

usage: peers.py TUNZIP CORPUS_DIR WORK_DIR

Times testing (-t) and extracting a ~30 MB Deflate archive built from the
corpus's text files with `zip -6`, the corpus's Deflate64 archive, and one
folder of 20,000 small files made with `zip -r` (the cost of many files in one
folder): best of five wall-clock runs per tool, the tools taking turns in
each of the five rounds, and the peak resident memory of each tool. tunzip runs on one thread (the column the peers are compared
with) and on every core (its own column, with its speed-up over one thread).
Every run must succeed, and tunzip's extracted files must equal UnZip's (or
7-Zip's where UnZip cannot read the archive), or the table is not printed.

Then the corpus's PKZIP 1.x archives (Shrink, Reduce, Implode), whose test
takes a couple of milliseconds: the median of many runs taken in turns; and
an archive of 1,000,000 stored members (Python's zipfile, ZIP64 end record),
listed and tested by tunzip and UnZip, with the CPU time of both on the
20,000 small files.
"""
import filecmp
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "scripts"))
import peer_tools  # noqa: E402

RUNS = 5
TARGET_ARCHIVE_BYTES = 30 * 1000 * 1000


def build_text_archive(corpus, work):
    archive = os.path.join(work, "text30.zip")
    if os.path.exists(archive):
        return archive
    texts = sorted(f for f in os.listdir(os.path.join(corpus, "text")) if f.endswith(".gz"))
    source = os.path.join(work, "text-src")
    shutil.rmtree(source, ignore_errors=True)
    first = os.path.join(source, "copy01")
    os.makedirs(first)
    for name in texts:
        # Some of the files carry bytes after the gzip stream; gzip warns and exits 2.
        with open(os.path.join(first, name[:-3]), "wb") as out:
            subprocess.run(["gzip", "-dc", os.path.join(corpus, "text", name)], stdout=out,
                           stderr=subprocess.DEVNULL, check=False)
    one_copy = sum(os.path.getsize(os.path.join(first, f)) for f in os.listdir(first))
    # Text shrinks to about a third under zip -6.
    copies = max(1, round(TARGET_ARCHIVE_BYTES * 3 / one_copy))
    for index in range(2, copies + 1):
        shutil.copytree(first, os.path.join(source, "copy%02d" % index))
    partial = archive + ".part"
    subprocess.run(["zip", "-q", "-6", "-r", partial, "."], cwd=source, check=True)
    os.replace(partial, archive)
    shutil.rmtree(source)
    return archive


def run_once(command):
    """Wall seconds of one run; raises on failure."""
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise RuntimeError("%s exited with %d: %s" %
                           (" ".join(command), result.returncode, result.stderr.decode(errors="replace")))
    return elapsed


def peak_megabytes(command, work):
    """Peak resident memory of one run. Measured through GNU time: the kernel
    carries a process's high-water mark across exec, so a child of this
    interpreter would report the interpreter's own memory."""
    report = os.path.join(work, "peak.txt")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + command, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    with open(report) as f:
        return int(f.read().split()[-1]) / 1024.0


def best_in_turns(commands, work, before_for):
    """Best wall seconds and peak memory of each command over RUNS rounds, the
    tools taking turns within a round, so that a drift of the machine's speed
    falls on all of them alike; None for a peer that cannot read the archive
    (bsdtar and Deflate64). before_for(tool) gives what to run before each
    of its runs, or None."""
    best = {tool: float("inf") for tool in commands}
    for _ in range(RUNS):
        for tool, command in commands.items():
            if best[tool] is None:
                continue
            before = before_for(tool)
            if before:
                before()
            try:
                best[tool] = min(best[tool], run_once(command))
            except RuntimeError:
                if tool.startswith("tunzip"):
                    raise
                best[tool] = None
    results = {}
    for tool, command in commands.items():
        before = before_for(tool)
        if before:
            before()
        results[tool] = None if best[tool] is None else (best[tool], peak_megabytes(command, work))
    return results


def same_tree(left, right):
    comparison = filecmp.dircmp(left, right)
    if comparison.left_only or comparison.right_only or comparison.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(left, right, comparison.common_files, shallow=False)
    if mismatch or errors:
        return False
    return all(same_tree(os.path.join(left, d), os.path.join(right, d)) for d in comparison.common_dirs)


def measure(tunzip, archive, work):
    out = os.path.join(work, "out")

    def clean():
        shutil.rmtree(out, ignore_errors=True)
        # The removed files' journal and writeback work done before the clock
        # starts, not charged to whichever tool runs next.
        os.sync()

    tools = {
        "test": {
            "tunzip": [tunzip, "--threads", "1", "-t", "-q", archive],
            "tunzip-all": [tunzip, "-t", "-q", archive],
            "unzip": ["unzip", "-tqq", archive],
            "7z": ["7zz", "t", archive],
            # bsdtar has no test mode: it reads every member to standard output.
            "bsdtar": ["bsdtar", "-xOf", archive],
        },
        "extract": {
            "tunzip": [tunzip, "--threads", "1", "-o", "-q", "-d", out, archive],
            "tunzip-all": [tunzip, "-o", "-q", "-d", out, archive],
            "unzip": ["unzip", "-o", "-qq", "-d", out, archive],
            "7z": ["7zz", "x", "-y", "-o" + out, archive],
            "bsdtar": ["bsdtar", "-xf", archive, "-C", out],
        },
    }
    def clean_and_make():
        clean()
        os.makedirs(out)

    results = {}
    for mode, commands in tools.items():
        def before_for(tool, mode=mode):
            if mode != "extract":
                return None
            # bsdtar extracts into an existing folder only.
            return clean_and_make if tool == "bsdtar" else clean

        for tool, result in best_in_turns(commands, work, before_for).items():
            results[(mode, tool)] = result

    # The times count only if tunzip wrote what a peer writes.
    reference = os.path.join(work, "reference")
    shutil.rmtree(reference, ignore_errors=True)
    run_once(["unzip", "-o", "-qq", "-d", reference, archive])
    for tool in ("tunzip", "tunzip-all"):
        clean()
        run_once(tools["extract"][tool])
        if not same_tree(out, reference):
            raise RuntimeError("%s's files differ from UnZip's for %s" % (tool, archive))
    clean()
    shutil.rmtree(reference, ignore_errors=True)
    return results


LEGACY_ROUNDS = 200


def spawn_seconds(command):
    """Wall seconds and exit status of one run, spawned without the cost of
    forking this interpreter: the legacy archives take a couple of
    milliseconds, of which a fork would be most."""
    wall, _, code = spawn_usage(command)
    return wall, code


def measure_legacy(tunzip, archive):
    """Median wall seconds of each tool testing the archive, the tools taking
    turns so that the machine's drift is shared; None for a peer that does not
    decode every member (UnZip's exit 81 skips unsupported methods)."""
    tools = {
        "tunzip": [tunzip, "-tqq", archive],
        "unzip": ["unzip", "-tqq", archive],
        "7z": ["7zz", "t", archive],
    }
    times = {tool: [] for tool in tools}
    status = {}
    for _ in range(LEGACY_ROUNDS):
        for tool, command in tools.items():
            seconds, code = spawn_seconds(command)
            times[tool].append(seconds)
            status[tool] = code
    if status["tunzip"] != 0:
        raise RuntimeError("tunzip -t failed on %s with %d" % (archive, status["tunzip"]))
    result = {}
    for tool, samples in times.items():
        samples.sort()
        result[tool] = (samples[len(samples) // 2], status[tool])
    return result


def print_legacy(tunzip, corpus):
    names = ("HWSHRINK.ZIP", "HWREDUCE.ZIP", "HWIMPODE.ZIP")
    archives = [os.path.join(corpus, "legacy", n) for n in names]
    if not all(os.path.exists(a) for a in archives):
        print("peers: no legacy archives in the corpus; skipping their comparison")
        return
    print("legacy methods, whole process: median of %d runs taken in turns (ms); "
          "'fails': the peer cannot decode the method" % LEGACY_ROUNDS)
    print("%-14s %8s %8s %8s %9s %9s" % ("archive", "tunzip", "unzip", "7z", "t/unzip", "t/7z"))
    for archive in archives:
        r = measure_legacy(tunzip, archive)
        t = r["tunzip"][0]
        cells, ratios = [], []
        for tool in ("unzip", "7z"):
            seconds, code = r[tool]
            if code == 0:
                cells.append("%8.3f" % (seconds * 1e3))
                ratios.append("%9.2f" % (t / seconds))
            elif tool == "unzip" and code == 81:
                cells.append("%7.3f*" % (seconds * 1e3))
                ratios.append("%8.2f*" % (t / seconds))
            else:
                cells.append("%8s" % "fails")
                ratios.append("%9s" % "-")
        print("%-14s %8.3f %s %s" % (os.path.basename(archive), t * 1e3, " ".join(cells),
                                      " ".join(ratios)))
    print("  * UnZip as Debian builds it has no Reduce: it skips those members (exit 81), and "
          "the ratio compares our decoding with its skipping")


DEEP_ROUNDS = 3


def deep_name_archive(work):
    """One member whose name is 65,535 bytes long: a/ 32,767 times, then x."""
    archive = os.path.join(work, "deep-name.zip")
    if not os.path.exists(archive):
        import zipfile
        with zipfile.ZipFile(archive + ".part", "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("a/" * 32767 + "x", b"deep\n")
        os.replace(archive + ".part", archive)
    return archive


def spawn_usage(command):
    """Wall seconds, CPU seconds (user and system) and exit status of one run."""
    null = os.open(os.devnull, os.O_WRONLY)
    try:
        start = time.perf_counter()
        pid = os.posix_spawnp(command[0], command, os.environ,
                              file_actions=[(os.POSIX_SPAWN_DUP2, null, 1),
                                            (os.POSIX_SPAWN_DUP2, null, 2)])
        _, status, usage = os.wait4(pid, 0)
        return (time.perf_counter() - start, usage.ru_utime + usage.ru_stime,
                os.waitstatus_to_exitcode(status))
    finally:
        os.close(null)


def print_deep_name(tunzip, work):
    """Extracting one member 32,767 folders deep: the cost of making folders
    along one long name. UnZip stops at the system's path limit (4,096 bytes,
    exit 2) and 7-Zip refuses the name (exit 2), so their times are those of
    giving up; tunzip must write the file. The CPU column leaves out the
    file system's own waits, which dominate on a journalled disk."""
    archive = deep_name_archive(work)
    out = os.path.join(work, "deep-out")
    tools = {
        "tunzip": [tunzip, "-q", "-d", out, archive],
        "unzip": ["unzip", "-qq", "-d", out, archive],
        "7z": ["7zz", "x", "-y", "-o" + out, archive],
    }
    best = {tool: None for tool in tools}
    for _ in range(DEEP_ROUNDS):
        for tool, command in tools.items():
            subprocess.run(["rm", "-rf", out], check=True)
            os.sync()
            wall, cpu, code = spawn_usage(command)
            if tool == "tunzip" and code != 0:
                raise RuntimeError("tunzip failed on the deep name with %d" % code)
            if best[tool] is None or wall < best[tool][0]:
                best[tool] = (wall, cpu, code)
    subprocess.run(["rm", "-rf", out], check=True)
    print("one member 65,535 bytes deep (32,767 folders), extracted: best of %d rounds taken in "
          "turns" % DEEP_ROUNDS)
    print("%-8s %9s %9s %6s" % ("tool", "wall s", "cpu s", "exit"))
    for tool, (wall, cpu, code) in best.items():
        print("%-8s %9.3f %9.3f %6d" % (tool, wall, cpu, code))


MILLION = 1000000
SCALE_ROUNDS = 3


def million_member_archive(work):
    """1,000,000 stored members of a few bytes each, in 1,000 folders."""
    archive = os.path.join(work, "million.zip")
    if not os.path.exists(archive):
        import zipfile
        with zipfile.ZipFile(archive + ".part", "w", zipfile.ZIP_STORED, allowZip64=True) as z:
            for i in range(MILLION):
                info = zipfile.ZipInfo("d%04d/f%07d.txt" % (i // 1000, i), (2020, 1, 1, 0, 0, 0))
                z.writestr(info, b"x%d\n" % i)
        os.replace(archive + ".part", archive)
    return archive


def best_usage(command, rounds):
    """Best wall seconds, best CPU seconds and the exit status of rounds runs."""
    runs = [spawn_usage(command) for _ in range(rounds)]
    return min(r[0] for r in runs), min(r[1] for r in runs), runs[-1][2]


def print_scale(tunzip, work):
    """The catalogue's cost: every member listed and tested, output discarded
    (UnZip prints a line per member too), and the peak memory, which the
    catalogue of a million members must keep within 64 MB."""
    archive = million_member_archive(work)
    many = peer_tools.many_files_archive(work)
    rows = [
        ("million -t", [tunzip, "-t", archive], ["unzip", "-t", archive]),
        ("million -l", [tunzip, "-l", archive], ["unzip", "-l", archive]),
        ("20,000 -t", [tunzip, "--threads", "1", "-t", many], ["unzip", "-t", many]),
        ("20,000 -tqq", [tunzip, "--threads", "1", "-tqq", many], ["unzip", "-tqq", many]),
    ]
    print("catalogue scale: best of %d rounds (wall and CPU seconds; peak resident MB)" %
          SCALE_ROUNDS)
    print("%-12s %9s %9s %9s %9s %9s %9s %8s %8s" % ("archive", "tunzip", "unzip", "wall t/u",
                                                    "cpu t", "cpu u", "cpu t/u", "MB tunz",
                                                    "MB unzip"))
    for label, ours, theirs in rows:
        rounds = SCALE_ROUNDS if label.startswith("million") else 20
        t_wall, t_cpu, t_code = best_usage(ours, rounds)
        u_wall, u_cpu, _ = best_usage(theirs, rounds)
        if t_code != 0:
            raise RuntimeError("%s exited with %d" % (" ".join(ours), t_code))
        print("%-12s %9.3f %9.3f %9.2f %9.3f %9.3f %9.2f %8.1f %8.1f" %
              (label, t_wall, u_wall, t_wall / u_wall, t_cpu, u_cpu, t_cpu / max(u_cpu, 1e-9),
               peak_megabytes(ours, work), peak_megabytes(theirs, work)))


def main():
    if len(sys.argv) != 4:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    tunzip, corpus, work = (os.path.abspath(a) for a in sys.argv[1:])
    for tool in ("unzip", "7zz", "bsdtar", "zip", "gzip", "/usr/bin/time"):
        if shutil.which(tool) is None:
            print("peers: %s is not installed (./dev installs it)" % tool, file=sys.stderr)
            return 1
    if not os.path.isdir(os.path.join(corpus, "text")):
        print("peers: no corpus at %s; skipping the whole-process comparison" % corpus)
        return 0
    os.makedirs(work, exist_ok=True)
    archives = [build_text_archive(corpus, work)]
    deflate64 = os.path.join(corpus, "deflate64", "deflate64.zip")
    if os.path.exists(deflate64):
        archives.append(deflate64)
    archives.append(peer_tools.many_files_archive(work))

    print("whole process, best of %d rounds taken in turns (seconds; peak resident MB)" % RUNS)
    print("tunzip: one thread; tunzip*: %d threads (every core), t1/t*: its speed-up" %
          (os.cpu_count() or 1))
    print("%-20s %-8s %8s %8s %8s %8s %8s %8s %9s %9s %9s %8s %8s %8s %8s %8s" %
          ("archive", "mode", "tunzip", "tunzip*", "t1/t*", "unzip", "7z", "bsdtar", "t/unzip",
           "t/7z", "t/bsdtar", "MB tunz", "MB tunz*", "MB unzip", "MB 7z", "MB bsdt"))
    worst_peak = 0.0
    for archive in archives:
        results = measure(tunzip, archive, work)
        size = os.path.getsize(archive) / 1e6
        label = "%s %.1fM" % (os.path.basename(archive), size)
        for mode in ("test", "extract"):
            t = results[(mode, "tunzip")]
            every = results[(mode, "tunzip-all")]
            peers = [results[(mode, tool)] for tool in ("unzip", "7z", "bsdtar")]
            worst_peak = max(worst_peak, t[1], every[1])
            seconds = ["%8.3f" % p[0] if p else "%8s" % "fails" for p in peers]
            ratios = ["%9.2f" % (t[0] / p[0]) if p else "%9s" % "-" for p in peers]
            memory = ["%8.1f" % p[1] if p else "%8s" % "-" for p in peers]
            print("%-20s %-8s %8.3f %8.3f %8.2f %s %s %8.1f %8.1f %s" %
                  (label, mode, t[0], every[0], t[0] / every[0], " ".join(seconds),
                   " ".join(ratios), t[1], every[1], " ".join(memory)))
    print("peers: tunzip peak memory %.1f MB" % worst_peak)
    print_legacy(tunzip, corpus)
    print_deep_name(tunzip, work)
    print_scale(tunzip, work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
