#!/usr/bin/env python3
"""tunzip.exe under Wine as a script on Windows uses it: combined letters,
options after the archive, the listings through a pipe, exit codes.

usage: tunzip_cli.py TUNZIP SCRATCH_DIR
TUNZIP is a command that runs tunzip.exe (a wrapper around wine).
"""
import os
import subprocess
import sys
import zipfile

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def run(tunzip, *args, cwd):
    p = subprocess.run([tunzip, *args], cwd=cwd, capture_output=True, timeout=120,
                       stdin=subprocess.DEVNULL)
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")


MEMBERS = {
    "docs/readme.txt": b"read me\n",
    "bin/data.bin": bytes(range(256)) + b"\r\n\n\x1a\r" * 50,
    "caf\u00e9.txt": b"caf\xc3\xa9\n",
}


def main():
    tunzip, scratch = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(scratch, exist_ok=True)
    archive = os.path.join(scratch, "sample.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in MEMBERS.items():
            z.writestr(zipfile.ZipInfo(name, (2021, 3, 6, 10, 20, 30)), data)

    code, out, err = run(tunzip, "-l", "sample.zip", cwd=scratch)
    lines = out.decode("utf-8", "replace").splitlines()
    check(code == 0 and lines[0] == "Archive:  sample.zip", "-l: %d %r %s" % (code, lines[:2], err))
    rows = [line[30:] for line in lines[3:-2]]
    check(rows == list(MEMBERS), "-l names: %r" % rows)
    check(lines[-1].split() == [str(sum(map(len, MEMBERS.values()))), "3", "files"],
          "-l totals: %r" % lines[-1:])

    code, out, err = run(tunzip, "-Z1", "sample", cwd=scratch)
    names = out.decode("utf-8", "replace").splitlines()
    check(code == 0 and names == list(MEMBERS), "-Z1 through a pipe: %d %r %s" % (code, names, err))

    for args in (["-qo", "sample.zip", "-d", "one"], ["sample.zip", "-d", "two", "-qqo"],
                 ["-oqdthree", "sample.zip", "*"]):
        code, out, err = run(tunzip, *args, cwd=scratch)
        target = os.path.join(scratch, args[args.index("-d") + 1] if "-d" in args else "three")
        check(code == 0 and out == b"", "%r: %d %r %s" % (args, code, out, err))
        for name, data in MEMBERS.items():
            path = os.path.join(target, *name.split("/"))
            got = open(path, "rb").read() if os.path.exists(path) else None
            check(got == data, "%r: %s %s" % (args, name, "wrong bytes" if got else "missing"))

    # Bytes through a pipe as they are: no CR added before LF, no stop at ^Z.
    code, out, err = run(tunzip, "-p", "sample.zip", "bin/data.bin", cwd=scratch)
    check(code == 0 and out == MEMBERS["bin/data.bin"], "-p one member: %d %r %s" % (code, out[:40], err))
    code, out, err = run(tunzip, "sample.zip", "-qp", cwd=scratch)
    check(code == 0 and out == b"".join(MEMBERS.values()), "-p all: %d %d bytes %s" % (code, len(out), err))

    code, out, err = run(tunzip, "-h", cwd=scratch)
    check(code == 0 and out.startswith(b"usage: tunzip"), "-h: %d" % code)
    code, out, err = run(tunzip, "-qY", "sample.zip", cwd=scratch)
    check(code == 10 and err.startswith("tunzip: unknown option -Y in -qY"), "-qY: %d %r" % (code, err))
    code, out, err = run(tunzip, "-l", "missing", cwd=scratch)
    check(code == 9 and "cannot find or open missing, missing.zip or missing.ZIP" in err,
          "missing: %d %r" % (code, err))

    for failure in failures:
        print("FAIL:", failure)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
