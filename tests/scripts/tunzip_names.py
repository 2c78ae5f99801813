"""Member names survive whole, from the archive to the file system, and two
members that land on one file are never merged silently.

usage: tunzip_names.py TUNZIP CORPUS_DIR SCRATCH_DIR [--windows]

TUNZIP is the native tunzip, or a wrapper that runs tunzip.exe under Wine
(--windows: names that differ only in case land on one file there, and the
characters Windows cannot hold become `_`). The files are checked on the
Linux side, where Wine stores wide names as UTF-8.
"""
import os
import sys
import unicodedata
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peer_tools  # noqa: E402

tunzip, corpus, scratch = sys.argv[1:4]
windows = "--windows" in sys.argv[4:]
failures = []

NAMES = [
    "中文.txt",
    "日本.txt",
    "한글/файл.txt",
    "Ελληνικά.txt",
    "עברית.txt",
    "emoji-\U0001F600.txt",
    # e followed by a combining acute accent: two characters, kept as they are
    "e\u0301.txt",
    "\u00e9.txt",
]
CASE_NAMES = ["Readme.txt", "README.TXT"]


def check(ok, what):
    if not ok:
        failures.append(what)


def tree(folder):
    """relative path -> bytes of every file below folder."""
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = f.read()
    return files


def contents(name):
    return ("member " + name + "\n").encode("utf-8")


def make_python_archive(path, names):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name in names:
            z.writestr(name, contents(name))


def make_7zip_archive(path, names):
    source = peer_tools.fresh(path + ".src")
    for name in names:
        full = os.path.join(source, name)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(contents(name))
    if os.path.exists(path):
        os.remove(path)
    r = peer_tools.run(["7zz", "a", "-tzip", "-bd", path, "."], cwd=source)
    check(r.code == 0, "7zz could not make %s: %r" % (path, r))


def extract(archive, target, *options, masks=()):
    return peer_tools.run([tunzip, *options, archive, *masks, "-d", target])


def expect_tree(archive, names, label):
    target = peer_tools.fresh(os.path.join(scratch, label))
    r = extract(archive, target)
    check(r.code == 0, "%s: exit %r" % (label, r))
    got = tree(target)
    want = {os.path.normpath(n): contents(n) for n in names}
    check(got == want, "%s: wrote %r, expected %r" % (label, sorted(got), sorted(want)))
    listing = peer_tools.run([tunzip, "-l", archive])
    for name in names:
        check(name in listing.out, "%s: -l does not show %r:\n%s" % (label, name, listing.out))


def test_unicode_names():
    for label, make in (("python", make_python_archive), ("7zip", make_7zip_archive)):
        archive = os.path.join(scratch, label + ".zip")
        make(archive, NAMES)
        expect_tree(archive, NAMES, label)
        # Masks match the Unicode names.
        target = peer_tools.fresh(os.path.join(scratch, label + "-masked"))
        r = extract(archive, target, masks=("*.txt", "-x", "中*"))
        check(r.code == 0, "%s masked: %r" % (label, r))
        got = tree(target)
        check("中文.txt" not in got and "日本.txt" in got,
              "%s masked: -x 中* left %r" % (label, sorted(got)))


def test_corpus_unicode():
    archive = os.path.join(corpus, "compat", "unicode.zip")
    if not os.path.exists(archive):
        print("SKIP corpus part: no corpus at %s" % corpus)
        return
    with zipfile.ZipFile(archive) as z:
        names = [i.filename for i in z.infolist() if not i.is_dir()]
    target = peer_tools.fresh(os.path.join(scratch, "corpus-unicode"))
    r = extract(archive, target)
    check(r.code == 0, "unicode.zip: %r" % r)
    got = set(tree(target))
    check(got == {os.path.normpath(n) for n in names},
          "unicode.zip: wrote %r, expected %r" % (sorted(got), sorted(names)))


def test_case_and_duplicates():
    archive = os.path.join(scratch, "case.zip")
    make_python_archive(archive, CASE_NAMES)
    target = peer_tools.fresh(os.path.join(scratch, "case"))
    r = extract(archive, target)
    got = tree(target)
    if windows:
        # One file on a file system that ignores case: the second member is
        # skipped, said so, and the run says it did not get everything.
        check(len(got) == 1 and r.code != 0 and "README.TXT" in r.err,
              "case on Windows: %r, %r" % (sorted(got), r))
    else:
        check(sorted(got) == sorted(CASE_NAMES) and r.code == 0, "case: %r, %r" % (sorted(got), r))

    # The same name twice: without -o the first stays and the second is
    # skipped with a warning; with -o the second replaces the first.
    twice = os.path.join(scratch, "twice.zip")
    with zipfile.ZipFile(twice, "w") as z:
        import warnings
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            z.writestr("same.txt", b"first\n")
            z.writestr("same.txt", b"second\n")
    for options, want, code in (((), b"first\n", 1), (("-n",), b"first\n", 1),
                                (("-o",), b"second\n", 0)):
        target = peer_tools.fresh(os.path.join(scratch, "twice" + "".join(options)))
        r = extract(twice, target, *options)
        got = tree(target)
        check(got == {"same.txt": want} and r.code == code,
              "same name twice %s: %r, %r" % (options, got, r))
        if code:
            check("same.txt" in r.err, "same name twice %s: no warning: %r" % (options, r))


def test_short_name_aliases():
    """Windows: an 8.3 name of a folder or file of this run (Wine's LONG~NYX and
    LONG~LMQ.TXT; NTFS would say LONGFO~1 and LONGFI~1.TXT) is a collision with
    that member, on one thread and on several alike; a short name of anything
    else on disk is refused. The members are large enough for the workers."""
    archive = os.path.join(scratch, "aliases.zip")
    first, second = os.urandom(100000), os.urandom(100000)
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("Longfoldername/a.txt", first)
        z.writestr("LONG~NYX/a.txt", second)
        z.writestr("LONG~NYX/b.txt", second)
        z.writestr("dir/longfilename.txt", first)
        z.writestr("dir/LONG~LMQ.TXT", second)
    runs = []
    for threads in ("1", "4"):
        target = peer_tools.fresh(os.path.join(scratch, "aliases-" + threads))
        r = extract(archive, target, "--threads", threads)
        runs.append((r.code, r.out, r.err))
        got = tree(target)
        check(got == {os.path.join("Longfoldername", "a.txt"): first,
                      os.path.join("dir", "longfilename.txt"): first} and r.code == 1,
              "short names, %s threads: %r, %r" % (threads, sorted(got), r))
        for name in ("LONG~NYX/a.txt", "dir/LONG~LMQ.TXT"):
            check(name + ": another member of this archive was written there" in r.err,
                  "short names, %s threads: %s not a collision: %r" % (threads, name, r))
        check("LONG~NYX/b.txt: LONG~NYX is the short name of Longfoldername" in r.err,
              "short names, %s threads: LONG~NYX/b.txt not refused: %r" % (threads, r))
    check(runs[0] == runs[1], "short names: one thread and four differ: %r" % runs)


def test_device_names():
    """Windows: a member named as a device is written with a `_` in front and
    a warning, and the ports, here files that Wine's dosdevices links lead
    to, receive nothing."""
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    sink = os.path.join(scratch, "port-sink")
    open(sink, "wb").close()
    saved = {}
    for port in ("com1", "lpt1"):
        link = os.path.join(prefix, "dosdevices", port)
        saved[link] = os.readlink(link) if os.path.islink(link) else None
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(sink, link)
    names = {"COM1": "_COM1", "aux.txt": "_aux.txt", "Nul ": "_Nul_", "lpt1.": "_lpt1_",
             "lpt\u00b9.log": "_lpt\u00b9.log", "con/inside.txt": "_con/inside.txt",
             "CONSOLE.txt": "CONSOLE.txt"}
    archive = os.path.join(scratch, "devices.zip")
    make_python_archive(archive, names)
    target = peer_tools.fresh(os.path.join(scratch, "devices"))
    try:
        r = extract(archive, target)
    finally:
        for link, was in saved.items():
            os.remove(link)
            if was is not None:
                os.symlink(was, link)
    got = tree(target)
    want = {os.path.normpath(written): contents(name) for name, written in names.items()}
    check(got == want and r.code == 1, "devices: wrote %r, %r" % (sorted(got), r))
    for name in names:
        if name != "CONSOLE.txt":
            check(name.split("/")[0] + " is a device name" in r.err,
                  "devices: no warning for %r: %r" % (name, r))
    check(os.path.getsize(sink) == 0, "devices: a port received %d bytes" % os.path.getsize(sink))


def test_normalization_kept():
    # NFC and NFD spellings of one name are two names to Linux; Wine keeps
    # them apart too.
    target = os.path.join(scratch, "python")
    names = set(os.listdir(target))
    check(unicodedata.normalize("NFD", "\u00e9.txt") in names and "\u00e9.txt" in names,
          "combining accents: %r" % sorted(names))


def test_files_that_cannot_be_created():
    # Each is an error that says why, with or without -n, never "exists":
    # UnZip's 2 when the member's folders cannot be made, 50 when the file
    # itself cannot be; the members after it are still written.
    # The reason names the file or folder as the member names it.
    long_name = "x" * 300
    long_utf8 = "\u00e9" * 300
    cases = [
        ("parent-file", [("same", b"a file\n"), ("same/in.txt", b"inside\n")], "same/in.txt", 2),
        ("long-name", [(long_name, b"long\n")], long_name, 50),
        ("long-folder", [(long_name + "/f.txt", b"long\n")], long_name + "/f.txt", 2),
        ("parent-file-utf8", [("caf\u00e9", b"a file\n"), ("caf\u00e9/in.txt", b"inside\n")],
         "caf\u00e9/in.txt: cannot create the folder caf\u00e9: ", 2),
        ("long-name-utf8", [(long_utf8, b"long\n")], long_utf8 + ": Cannot create file " + long_utf8,
         50),
    ]
    for label, members, failing, code in cases:
        archive = os.path.join(scratch, label + ".zip")
        with zipfile.ZipFile(archive, "w") as z:
            for name, data in members + [("after.txt", b"after\n")]:
                z.writestr(name, data)
        for options in ((), ("-n",), ("-o",)):
            target = peer_tools.fresh(os.path.join(scratch, label + "".join(options)))
            r = extract(archive, target, *options)
            what = "%s %s: %r" % (label, options, r)
            check(r.code == code, what)
            check(failing in r.err and "not overwritten" not in r.err, what)
            check(tree(target).get("after.txt") == b"after\n", what)


def test_lowercased_names():
    """-L lowercases the names made on single-case file systems, -LL every
    name, as UnZip does: compared with unzip's -l and -v listings (their '^'
    marks), the tree it extracts, masks and -p, on an archive whose members
    name every host there is."""
    archive = os.path.join(scratch, "hosts.zip")
    hosts = range(32)
    with zipfile.ZipFile(archive, "w") as z:
        for host in hosts:
            for name in ("Dir%02d/MiXed.TXT" % host, "Dir%02d/lower.txt" % host):
                info = zipfile.ZipInfo(name)
                info.create_system = host
                z.writestr(info, contents(name))
    for options in (["-L", "-l"], ["-LL", "-v"], ["-L", "-l", "dir00/*", "Dir03/*"],
                    ["-L", "-p", "dir02/mixed.txt"]):
        ours = peer_tools.run([tunzip, *options[:2], archive, *options[2:]])
        theirs = peer_tools.run(["unzip", *options[:2], archive, *options[2:]])
        check((ours.out_bytes, ours.code) == (theirs.out_bytes, theirs.code),
              "%s: tunzip %r, unzip %r" % (" ".join(options), ours, theirs))
    for option in ("-L", "-LL"):
        target = peer_tools.fresh(os.path.join(scratch, "lowered" + option))
        r = extract(archive, target, "-q", option)
        theirs = peer_tools.fresh(os.path.join(scratch, "unzip-lowered" + option))
        peer_tools.unzip_extract(archive, theirs, options=("-o", "-qq", option))
        check(r.code == 0 and tree(target) == tree(theirs),
              "%s: tunzip wrote %r, unzip %r (%r)"
              % (option, sorted(tree(target)), sorted(tree(theirs)), r))


def test_deep_name():
    # One member 65,535 bytes long, 32,767 folders deep: written whole where
    # the system takes such a path; refused on Windows, which cannot hold
    # it, before any of its folders is made. Python's own tree walks recurse
    # per folder, so the tree is read and removed through descriptors and rm.
    target = os.path.join(scratch, "deep")
    peer_tools.run(["rm", "-rf", target])
    os.makedirs(target)
    archive = os.path.join(scratch, "deep.zip")
    depth = 32767
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("a/" * depth + "x", b"deep\n")
    r = extract(archive, target, "-q")
    if windows:
        check(r.code == 2 and "longer than Windows allows" in r.err and os.listdir(target) == [],
              "deep name on Windows: %r, %r" % (r, os.listdir(target)))
        return
    check(r.code == 0, "deep name: %r" % r)
    folder = os.open(target, os.O_RDONLY | os.O_DIRECTORY)
    reached = 0
    try:
        while reached < depth:
            inner = os.open("a", os.O_RDONLY | os.O_DIRECTORY, dir_fd=folder)
            os.close(folder)
            folder, reached = inner, reached + 1
        leaf = os.open("x", os.O_RDONLY, dir_fd=folder)
        data = os.read(leaf, 100)
        os.close(leaf)
    except OSError as error:
        data = repr(error)
    finally:
        os.close(folder)
    check(reached == depth and data == b"deep\n", "deep name: %d folders, x holds %r" % (reached, data))
    peer_tools.run(["rm", "-rf", target])


peer_tools.require("7zz")
os.makedirs(scratch, exist_ok=True)
test_unicode_names()
test_normalization_kept()
test_corpus_unicode()
test_case_and_duplicates()
test_files_that_cannot_be_created()
test_deep_name()
if windows:
    print("SKIP -L against unzip: unzip runs natively only")
else:
    test_lowercased_names()
if windows:
    test_short_name_aliases()
    test_device_names()
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
