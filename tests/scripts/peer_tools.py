"""Running tunzip and its peers (Info-ZIP zip and UnZip, 7-Zip, bsdtar) from
the script tests, and reading back what they wrote.

A peer that is missing is a missing install step, not a reason to skip:
require() fails naming the Debian package that ./dev installs.
"""
import os
import shutil
import stat
import subprocess

# The command each peer is run as, and the Debian package that brings it.
PACKAGES = {
    "zip": "zip",
    "unzip": "unzip",
    "7zz": "7zip",
    "bsdtar": "libarchive-tools",
    "wine": "wine",
    "zstd": "zstd",
}


class MissingTool(RuntimeError):
    pass


def require(*tools):
    """Fails, naming the package, when a peer is not installed."""
    missing = ["%s (Debian package %s)" % (t, PACKAGES.get(t, t))
               for t in tools if shutil.which(t) is None]
    if missing:
        raise MissingTool("not installed: " + ", ".join(missing) +
                          "; ./dev installs it when run as root")


class Result:
    """Exit code, output and error as text; out_bytes, the output as it came."""

    def __init__(self, code, out, err, out_bytes=b""):
        self.code, self.out, self.err, self.out_bytes = code, out, err, out_bytes

    def __repr__(self):
        return "exit %d, stderr %r" % (self.code, self.err[-400:])


def run(command, cwd=None, env=None, timeout=300, stdin=subprocess.DEVNULL):
    """Runs a command without a terminal; its output as text."""
    full_env = dict(os.environ)
    full_env.update(env or {})
    p = subprocess.run(command, cwd=cwd, env=full_env, stdin=stdin, capture_output=True,
                       timeout=timeout)
    return Result(p.returncode, p.stdout.decode("utf-8", "replace"),
                  p.stderr.decode("utf-8", "replace"), p.stdout)


def fresh(path):
    """An empty folder at path (removed first when it exists)."""
    if os.path.lexists(path):
        make_writable(path)
        shutil.rmtree(path)
    os.makedirs(path)
    return path


def make_writable(path):
    """Gives the owner write permission throughout, so that the tree can go."""
    for root, dirs, _ in os.walk(path):
        for d in dirs:
            full = os.path.join(root, d)
            if not os.path.islink(full):
                os.chmod(full, os.stat(full).st_mode | stat.S_IRWXU)
    if os.path.isdir(path) and not os.path.islink(path):
        os.chmod(path, os.stat(path).st_mode | stat.S_IRWXU)


class Entry:
    """One file, folder or link of an extracted tree."""

    def __init__(self, kind, mode, mtime, data=None, target=None):
        self.kind, self.mode, self.mtime = kind, mode, mtime
        self.data, self.target = data, target

    def __repr__(self):
        return "%s %o %d" % (self.kind, self.mode, self.mtime)


def snapshot(folder):
    """relative path (`/` separated) -> Entry, for everything below folder."""
    entries = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(root, name)
            rel = os.path.relpath(path, folder).replace(os.sep, "/")
            st = os.lstat(path)
            if stat.S_ISLNK(st.st_mode):
                entries[rel] = Entry("link", stat.S_IMODE(st.st_mode), st.st_mtime_ns,
                                     target=os.readlink(path))
            elif stat.S_ISDIR(st.st_mode):
                entries[rel] = Entry("folder", stat.S_IMODE(st.st_mode), st.st_mtime_ns)
            else:
                with open(path, "rb") as f:
                    entries[rel] = Entry("file", stat.S_IMODE(st.st_mode), st.st_mtime_ns,
                                         data=f.read())
    return entries


def differences(ours, theirs, times=True, modes=True, folder_times=True):
    """What tells two snapshots apart, one line each: names, kinds, bytes,
    link targets, modification times to the second, permission bits."""
    lines = []
    for rel in sorted(set(ours) | set(theirs)):
        a, b = ours.get(rel), theirs.get(rel)
        if a is None or b is None:
            lines.append("%s: only %s" % (rel, "theirs" if a is None else "ours"))
            continue
        if a.kind != b.kind:
            lines.append("%s: %s here, %s there" % (rel, a.kind, b.kind))
            continue
        if a.data != b.data:
            lines.append("%s: different bytes" % rel)
        if a.target != b.target:
            lines.append("%s: link to %r, there to %r" % (rel, a.target, b.target))
        timed = a.kind == "file" or (a.kind == "folder" and folder_times)
        if times and timed and a.mtime // 10**9 != b.mtime // 10**9:
            lines.append("%s: %s time %d s off" % (rel, a.kind, (a.mtime - b.mtime) // 10**9))
        if modes and a.kind != "link" and a.mode != b.mode:
            lines.append("%s: mode %o, there %o" % (rel, a.mode, b.mode))
    return lines


def unzip_extract(archive, target, env=None, options=("-o", "-qq")):
    return run(["unzip", *options, archive, "-d", target], env=env)


def sevenzip_extract(archive, target, env=None):
    return run(["7zz", "x", "-y", "-bd", "-o" + target, archive], env=env)


def bsdtar_extract(archive, target, env=None):
    os.makedirs(target, exist_ok=True)
    return run(["bsdtar", "-xf", archive, "-C", target], env=env)


def many_files_archive(cache, count=20000):
    """An archive that `zip -r` made of one folder holding count small files,
    made once and kept in cache (the build tree): making it takes a while."""
    archive = os.path.join(cache, "many%d.zip" % count)
    if os.path.exists(archive):
        return archive
    require("zip")
    source = fresh(os.path.join(cache, "many%d-source" % count))
    folder = os.path.join(source, "many")
    os.makedirs(folder)
    for i in range(count):
        with open(os.path.join(folder, "file%05d.txt" % i), "w") as f:
            f.write("file %d of %d\n" % (i, count))
    partial = archive + ".part"
    if os.path.exists(partial):
        os.remove(partial)
    result = run(["zip", "-q", "-r", partial, "many"], cwd=source, env={"TZ": "UTC"})
    if result.code != 0:
        raise RuntimeError("zip could not make %s: %r" % (archive, result))
    os.replace(partial, archive)
    shutil.rmtree(source)
    return archive
