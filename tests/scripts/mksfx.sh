#!/usr/bin/env bash
# The packer's output checked by other tools: Info-ZIP's unzip and zipinfo and
# 7-Zip must read it as a sound archive whose offsets count from the start of
# the whole file, with MS-DOS attributes and the files' own times.
# Usage: mksfx.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
mksfx=$build/tools/mksfx/mksfx
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "$mksfx" ] || { echo "SKIP: $mksfx not built"; exit 0; }
for tool in unzip zipinfo 7z; do
  command -v $tool >/dev/null || { echo "SKIP: $tool not installed"; exit 0; }
done
work=$(mktemp -d "$build/mksfx-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

head -c 5000 /dev/urandom > stub.exe
mkdir in
printf 'hello, world\r\n%.0s' $(seq 1 200) > in/Text.TXT
head -c 70000 /dev/urandom > in/noise.bin
: > in/empty.dat
touch -d '2019-07-04 13:37:43' in/Text.TXT
touch -d '1975-01-01 00:00:00' in/empty.dat
"$mksfx" stub.exe out.exe in/Text.TXT in/noise.bin in/empty.dat

cmp -n 5000 stub.exe out.exe || fail "the installer is not at the start"
unzip -t out.exe > unzip.log 2>&1 || { cat unzip.log; fail "unzip -t failed (or warned)"; }
grep -q 'extra bytes' unzip.log && fail "offsets are not counted from the start of the file"
7z t out.exe > 7z.log 2>&1 || { cat 7z.log; fail "7z t failed"; }
grep -q 'Everything is Ok' 7z.log || fail "7z found problems"

zipinfo -v out.exe > info.log
[ "$(grep -c 'compression method: *deflated' info.log)" = 3 ] || fail "not every member is deflated"
[ "$(grep -c 'operating system of origin: *MS-DOS' info.log)" = 3 ] || fail "not made by MS-DOS"
[ "$(grep -c 'MS-DOS file attributes (20 hex): *arc' info.log)" = 3 ] || fail "attributes not 0x20"
zipinfo -1 out.exe > names.log
[ "$(tr '\n' ' ' < names.log)" = "Text.TXT noise.bin empty.dat " ] || fail "names: $(cat names.log)"
# DOS times are local and kept in two-second steps; before 1980 is 1980.
zipinfo -T -l out.exe > times.log
grep -q '20190704.13374[23] *Text.TXT' times.log || { cat times.log; fail "time of Text.TXT"; }
grep -q '19800101.000000 *empty.dat' times.log || { cat times.log; fail "time of empty.dat"; }

mkdir extracted
unzip -q out.exe -d extracted 2>/dev/null || true
for f in Text.TXT noise.bin empty.dat; do
  cmp "in/$f" "extracted/$f" || fail "$f differs after extraction"
done

# Failures leave nothing behind and say why.
if "$mksfx" stub.exe bad.exe in/Text.TXT in/absent 2> err.log; then fail "a missing file was accepted"; fi
grep -q 'in/absent' err.log || fail "the message does not name the missing file"
cp in/Text.TXT in/TEXT.txt
if "$mksfx" stub.exe bad.exe in/Text.TXT in/TEXT.txt 2> err.log; then fail "two members of one name"; fi
if "$mksfx" stub.exe bad.exe in 2>/dev/null; then fail "a folder was packed"; fi
[ ! -e bad.exe ] || fail "a failed run left its output"
ls | grep -q mksfx-tmp && fail "a failed run left a temporary file"
if "$mksfx" stub.exe 2>/dev/null; then fail "too few arguments accepted"; fi

# The products of the build carry exactly the payload's five members.
for product in "$build/CVCustomScrZipBase" "$build/CVCustomScrZipBase.exe"; do
  [ -f "$product" ] || continue
  unzip -t "$product" > product.log 2>&1 || { cat product.log; fail "$product does not test clean"; }
  [ "$(zipinfo -1 "$product" | tr '\n' ' ')" = "CVCopySCR.exe mwscd.adt mwscd.adi MWSCR.ADT MWSCR.ADI " ] ||
    fail "$product members: $(zipinfo -1 "$product" | tr '\n' ' ')"
done
echo "mksfx: every check passed"
