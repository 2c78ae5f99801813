#!/usr/bin/env bash
# The packer from the command line: its output read by Info-ZIP's unzip and
# zipinfo and by 7-Zip, the checks that refuse a payload, reproducible bytes,
# the build's own product made again, --verify on damaged files, and a payload
# with another add-on version installed by the native installer.
# Usage: mksfx.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
mksfx=$build/tools/mksfx/mksfx
demo=$build/tools/demo-payload
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in unzip zipinfo zip 7zz cmp openssl osslsigncode; do
  command -v $tool >/dev/null || fail "$tool is not installed (./dev installs it)"
done
for f in "$mksfx" "$build/CVCustomScrZipBase" "$demo/CVCopySCR.exe" "$demo/6.1/CVCopySCR.exe"; do
  [ -f "$f" ] || fail "$f was not built"
done
work=$(mktemp -d "$build/mksfx-test.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cd "$work"
payload=("$demo/CVCopySCR.exe" "$demo/mwscd.adt" "$demo/mwscd.adi" "$demo/MWSCR.ADT" "$demo/MWSCR.ADI")

# Any stub will do for the archive's sake; these files are not the payload,
# so --allow-missing, which warns.
head -c 5000 /dev/urandom > stub.exe
mkdir in
printf 'hello, world\r\n%.0s' $(seq 1 200) > in/Text.TXT
head -c 70000 /dev/urandom > in/noise.bin
: > in/empty.dat
touch -d '2019-07-04 13:37:43' in/Text.TXT
touch -d '1975-01-01 00:00:00' in/empty.dat
"$mksfx" --installer stub.exe -o out.exe --allow-missing in/Text.TXT in/noise.bin in/empty.dat \
  > pack.log 2> warn.log || { cat pack.log warn.log; fail "packing with --allow-missing"; }
grep -q 'warning: the installer needs CVCopyScr.EXE, mwscd.adt, mwscd.adi, mwscr.adt, mwscr.adi' warn.log ||
  fail "no warning for the missing names: $(cat warn.log)"
grep -q 'warning: in/noise.bin: the installer never uses it' warn.log ||
  fail "no warning for a file the installer never uses: $(cat warn.log)"

cmp -n 5000 stub.exe out.exe || fail "the installer is not at the start"
unzip -t out.exe > unzip.log 2>&1 || { cat unzip.log; fail "unzip -t failed (or warned)"; }
grep -q 'extra bytes' unzip.log && fail "offsets are not counted from the start of the file"
7zz t out.exe > 7z.log 2>&1 || { cat 7z.log; fail "7zz t failed"; }
grep -q 'Everything is Ok' 7z.log || fail "7-Zip found problems"
zipinfo -v out.exe > info.log
# Deflate shrinks the text; the noise and the empty file are stored as they are.
[ "$(grep -c 'compression method: *deflated' info.log)" = 1 ] || fail "the text is not deflated"
[ "$(grep -c 'compression method: *none (stored)' info.log)" = 2 ] || fail "noise and empty not stored"
grep -q '^  noise.bin: 70000 -> 70000 bytes (stored' pack.log || fail "stored member: $(cat pack.log)"
[ "$(grep -c 'operating system of origin: *MS-DOS' info.log)" = 3 ] || fail "not made by MS-DOS"
[ "$(grep -c 'MS-DOS file attributes (20 hex): *arc' info.log)" = 3 ] || fail "attributes not 0x20"
# A fixed order whatever the command line's: by name, a-z and A-Z alike.
[ "$(zipinfo -1 out.exe | tr '\n' ' ')" = "empty.dat noise.bin Text.TXT " ] ||
  fail "names: $(zipinfo -1 out.exe | tr '\n' ' ')"
# DOS times are local and kept in two-second steps; before 1980 is 1980.
zipinfo -T -l out.exe > times.log
grep -q '20190704.13374[23] *Text.TXT' times.log || { cat times.log; fail "time of Text.TXT"; }
grep -q '19800101.000000 *empty.dat' times.log || { cat times.log; fail "time of empty.dat"; }
mkdir extracted
unzip -q out.exe -d extracted
for f in Text.TXT noise.bin empty.dat; do cmp "in/$f" "extracted/$f" || fail "$f differs"; done

# Reproducible: with SOURCE_DATE_EPOCH the files' times and the time zone
# do not matter; without it the files' own times are the stamps.
pack_quiet() { "$mksfx" --installer stub.exe --allow-missing "$@" >/dev/null 2>&1; }
SOURCE_DATE_EPOCH=1700000000 TZ=UTC pack_quiet -o r1.exe in/noise.bin in/Text.TXT in/empty.dat
touch in/noise.bin in/Text.TXT
SOURCE_DATE_EPOCH=1700000000 TZ=America/New_York pack_quiet -o r2.exe in/empty.dat in/Text.TXT in/noise.bin
cmp r1.exe r2.exe || fail "SOURCE_DATE_EPOCH: the same inputs gave other bytes"
zipinfo -T -l r1.exe > r1.log
grep -q '20231114.221320 *noise.bin' r1.log || fail "SOURCE_DATE_EPOCH not taken as UTC: $(cat r1.log)"
pack_quiet -o r3.exe in/noise.bin in/Text.TXT in/empty.dat
cmp -s r1.exe r3.exe && fail "the files' own times were not used"
if SOURCE_DATE_EPOCH=yesterday "$mksfx" --installer stub.exe --allow-missing -o r4.exe in/Text.TXT \
  > epoch.log 2>&1; then fail "a bad SOURCE_DATE_EPOCH was taken"; fi
[ "$(cat epoch.log)" = "mksfx: SOURCE_DATE_EPOCH is not a number of seconds: yesterday" ] ||
  fail "a bad SOURCE_DATE_EPOCH, said: $(cat epoch.log)"

# The build's product, made again: by naming its installer, and with the one
# beside mksfx; the order on the command line does not matter.
"$mksfx" --installer "$build/src/installer/CVCustomScrZipBase" -o again "${payload[@]}" > again.log 2>&1 ||
  { cat again.log; fail "packing the demo payload"; }
cmp again "$build/CVCustomScrZipBase" || fail "the demo payload packed again differs from the build's product"
grep -q 'CVCopySCR.exe: the installer will report version 5.2.0.12' again.log || fail "version: $(cat again.log)"
(cd "$demo" && "$mksfx" -o "$work/beside" MWSCR.ADI mwscd.adi CVCopySCR.exe MWSCR.ADT mwscd.adt) >/dev/null ||
  fail "packing with the installer beside mksfx"
cmp beside "$build/CVCustomScrZipBase" || fail "the installer beside mksfx is not the build's"
[ -x beside ] || fail "the output did not keep the installer's permissions"
"$mksfx" --verify "$build/CVCustomScrZipBase" > verify.log || fail "--verify on the product"
grep -q 'every member tested OK' verify.log || fail "--verify: $(cat verify.log)"

# Refusals: nothing is written and an older output stays as it was.
cp again old.exe
refused() {  # refused WHAT EXPECTED-MESSAGE ARGS...
  local what=$1 message=$2; shift 2
  if "$mksfx" -o old.exe "$@" > refused.log 2>&1; then fail "$what was accepted"; fi
  grep -qF -- "$message" refused.log || fail "$what: $(cat refused.log)"
  # Every argument is checked before anything of the packing is said.
  ! grep -qE 'packing with|will report version|warning' refused.log || fail "$what: said before refusing: $(cat refused.log)"
  cmp -s old.exe again || fail "$what: the old output was changed"
  ! ls | grep -q mksfx-tmp || fail "$what: a temporary file was left"
}
refused "a payload without mwscr.adt" "the installer needs mwscr.adt, which is not among the files" \
  "$demo/CVCopySCR.exe" "$demo/mwscd.adt" "$demo/mwscd.adi" "$demo/MWSCR.ADI"
refused "a payload without the add-on" "the installer needs CVCopyScr.EXE, which" \
  "$demo/mwscd.adt" "$demo/mwscd.adi" "$demo/MWSCR.ADT" "$demo/MWSCR.ADI"
cp in/Text.TXT "in/caf$(printf '\303\251').txt"
refused "a name beyond ASCII" ".txt: the name is not plain ASCII" "${payload[@]}" in/caf*.txt
refused "a folder" "in: is a folder" "${payload[@]}" in
refused "a missing file" "in/absent: cannot be found" "${payload[@]}" in/absent
refused "a folder and a missing file, both named" "in/absent: cannot be found" in "${payload[@]}" in/absent
grep -q '^  in: is a folder' refused.log || fail "the folder was not named with the missing file"
cp in/Text.TXT in/MWSCD.ADT
refused "two files of one name" "the same name as" "${payload[@]}" in/MWSCD.ADT
"$mksfx" --installer "$demo/CVCopySCR.exe" -o packed-pe.exe "${payload[@]}" >/dev/null 2>&1 || fail "a PE installer"
refused "an installer with a payload" "bytes behind its image, a payload perhaps" --installer packed-pe.exe "${payload[@]}"
if "$mksfx" 2>usage.log; then fail "no arguments accepted"; else [ $? = 2 ] || fail "usage exit code"; fi
grep -q '^usage: mksfx' usage.log || fail "no usage text"

# Signing appends a certificate table behind the payload: the installer's
# reader (in --verify and tunzip) and UnZip still find the payload in front of
# it. The demo add-on stands in for a Windows installer here.
"$mksfx" --installer "$demo/CVCopySCR.exe" -o pe.exe "${payload[@]}" >/dev/null || fail "packing behind a PE"
openssl req -x509 -newkey rsa:2048 -nodes -keyout test.key -out test.crt -days 2 -subj /CN=test 2>/dev/null
osslsigncode sign -certs test.crt -key test.key -in pe.exe -out pe-signed.exe >/dev/null || fail "signing"
osslsigncode verify -CAfile test.crt -in pe-signed.exe >/dev/null 2>&1 || fail "osslsigncode verify"
"$mksfx" --verify pe-signed.exe > signed.log 2>&1 || { cat signed.log; fail "--verify on a signed file"; }
grep -q 'signed: certificate table of' signed.log || fail "the signature was not seen"
"$build/tools/tunzip/tunzip" -t pe-signed.exe >/dev/null || fail "tunzip -t on a signed file"
unzip -t pe-signed.exe > unzip-signed.log 2>&1 || { cat unzip-signed.log; fail "unzip -t on a signed file"; }
refused "a signed installer" "is signed already" --installer pe-signed.exe "${payload[@]}"
# Signed first and packed afterwards, the payload lies outside the signature.
osslsigncode sign -certs test.crt -key test.key -in "$demo/CVCopySCR.exe" -out bare-signed.exe >/dev/null
zip -qj late.zip "${payload[@]}" && cat bare-signed.exe late.zip > late.exe && zip -qA late.exe ||
  fail "zip -A could not make a payload behind a signature"
if "$mksfx" --verify late.exe > late.log 2>&1; then fail "a payload behind the signature passed"; fi
grep -q 'sign the installer after packing' late.log || fail "$(cat late.log)"

# An add-on without the version the installer reads: packed, with a warning.
mkdir noversion && cp "$demo"/mw* "$demo"/MW* noversion/ && cp in/Text.TXT noversion/CVCopyScr.EXE
"$mksfx" -o nover.exe noversion/* > nover.log 2>&1 || fail "an add-on without a version was refused"
grep -q 'carries no version resource.*report an empty version' nover.log || fail "no version warning"

# A damaged output fails --verify, naming the member. What the flipped byte
# does to the add-on's Deflate stream depends on the add-on's bytes, which
# change from build to build: a wrong CRC, a corrupt code, more data than
# declared are all the member failing.
cp again damaged
at=$(( $(stat -c %s "$build/src/installer/CVCustomScrZipBase") + 30 + 13 + 2000 ))  # in the add-on's data
printf '\125' | dd of=damaged bs=1 seek=$at conv=notrunc 2>/dev/null
if "$mksfx" --verify damaged > damaged.log 2>&1; then fail "--verify passed a damaged member"; fi
grep -q '^mksfx: damaged: CVCopySCR.exe: ' damaged.log || fail "--verify: $(cat damaged.log)"
grep -q '^  FAILED  CVCopySCR.exe' damaged.log || fail "--verify listed no failure: $(cat damaged.log)"
head -c $(( $(stat -c %s again) - 10 )) again > truncated
if "$mksfx" --verify truncated > truncated.log 2>&1; then fail "--verify passed a truncated file"; fi
# Behind a Windows image, what follows it tells a damaged payload from none.
head -c $(( $(stat -c %s packed-pe.exe) - 10 )) packed-pe.exe > truncated-pe.exe
if "$mksfx" --verify truncated-pe.exe > truncated.log 2>&1; then fail "--verify passed a truncated file"; fi
grep -q 'truncated-pe.exe: a damaged payload: ' truncated.log || fail "--verify, truncated: $(cat truncated.log)"
if "$mksfx" --verify "$demo/CVCopySCR.exe" > none.log 2>&1; then fail "--verify passed a file without payload"; fi
grep -q 'CVCopySCR.exe: no payload: nothing follows' none.log || fail "--verify, no payload: $(cat none.log)"
"$mksfx" --version | grep -q '^mksfx 1\.' || fail "--version: $("$mksfx" --version)"

# Another add-on version, installed by the native installer, which reports it.
mkdir v61 && cp "$demo"/mw* "$demo"/MW* "$demo/6.1/CVCopySCR.exe" v61/
"$mksfx" --installer "$build/src/installer/CVCustomScrZipBase" -o setup v61/* >/dev/null || fail "packing 6.1"
prefix=$work/prefix
mkdir -p "$prefix/drive_c/Medisoft" "$prefix/drive_c/Data/CorvelleEMC" fakebin
printf '%s\n' 'WINE REGISTRY Version 2' '' '[Software\\Medisoft] 1733600000' \
  '"Root Data Path"="C:\\Data"' '' '[Software\\Medisoft\\Patient Accounting] 1733600000' \
  '"Program Path"="C:\\Medisoft"' > "$prefix/user.reg"
printf '#!/bin/sh\nexit 0\n' > fakebin/wine && chmod +x fakebin/wine  # the launch starts nothing
# It carries a real certificate table behind its payload, as a signed
# setup.exe does: the native installer finds its payload all the same.
at=$(sed -n 's/.*certificate table of [0-9]* bytes at \([0-9]*\),.*/\1/p' signed.log)
[ -n "$at" ] || fail "no certificate table offset in: $(cat signed.log)"
unsigned_size=$(stat -c %s setup)
head -c $(( (8 - unsigned_size % 8) % 8 )) /dev/zero >> setup
tail -c +$(( at + 1 )) pe-signed.exe >> setup
[ $(( $(stat -c %s setup) - unsigned_size )) -gt 1000 ] || fail "no certificate table appended"
printf 'Enter\nEnter\n' | WINEPREFIX=$prefix PATH=$work/fakebin:/usr/bin:/bin timeout 120 ./setup > transcript.log
grep -q 'The Version installed was 6.1.0.3$' transcript.log || fail "version 6.1: $(cat transcript.log)"
installed=$(find "$prefix/drive_c" -ipath '*/medisoft/bin/cvcopyscr.exe')
[ -n "$installed" ] && cmp "$installed" "$demo/6.1/CVCopySCR.exe" || fail "the 6.1 add-on is not installed"
[ "$(ls "$prefix/drive_c/Data/CorvelleEMC" | wc -l)" = 4 ] || fail "the databases were not copied"
echo "mksfx: every check passed"
