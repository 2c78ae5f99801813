#!/usr/bin/env bash
# The vendor's way from files to a signed setup.exe: packed by mksfx and by
# mksfx.exe under Wine, signed with a throwaway certificate by osslsigncode,
# checked by osslsigncode verify and mksfx --verify, then installed under Wine
# on a private Xvfb display, where it reports the add-on's own version.
# usage: mksfx_signed.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in wine wineserver Xvfb openssl osslsigncode python3 cmp; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (./dev installs it)"
done
kit=$build/tools/mksfx
demo=$build/tools/demo-payload
for f in "$kit/mksfx" "$kit/mksfx.exe" "$kit/CVCustomScrZipBase.exe" "$demo/6.1/CVCopySCR.exe" \
         "$build/tests/win32/windriver.exe"; do
  [ -f "$f" ] || fail "$f was not built"
done
work=$build/scratch/mksfx_signed
rm -rf "$work"
mkdir -p "$work/vendor"
cd "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cp "$demo/6.1/CVCopySCR.exe" "$demo"/mw* "$demo"/MW* vendor/

# Packed on Linux and by mksfx.exe under Wine: both sound, and each the same
# bytes on a second run.
export SOURCE_DATE_EPOCH=1700000000
"$kit/mksfx" -o setup.exe vendor/* > pack.log || { cat pack.log; fail "mksfx"; }
"$kit/mksfx" -o again.exe vendor/* > /dev/null && cmp setup.exe again.exe || fail "mksfx is not reproducible"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
wineserver -p >/dev/null 2>&1 || true
wine wineboot >/dev/null 2>&1 </dev/null || true  # the prefix's services, detached from any pipe
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine "$kit/mksfx.exe" -o setup-wine.exe vendor/CVCopySCR.exe vendor/mwscd.adt vendor/mwscd.adi \
  vendor/MWSCR.ADT vendor/MWSCR.ADI </dev/null > wine-pack.log 2>&1 || { cat wine-pack.log; fail "mksfx.exe"; }
grep -q 'will report version 6.1.0.3' wine-pack.log || fail "mksfx.exe: $(cat wine-pack.log)"
wine "$kit/mksfx.exe" -o setup-wine2.exe vendor/MWSCR.ADI vendor/MWSCR.ADT vendor/mwscd.adi \
  vendor/mwscd.adt vendor/CVCopySCR.exe </dev/null >/dev/null 2>&1 && cmp setup-wine.exe setup-wine2.exe ||
  fail "mksfx.exe is not reproducible"
"$kit/mksfx" --verify setup-wine.exe > /dev/null || fail "mksfx.exe's output does not verify"
if wine "$kit/mksfx.exe" -o bad.exe vendor/CVCopySCR.exe </dev/null > refused.log 2>&1; then
  fail "mksfx.exe packed without the databases"
fi
grep -q 'the installer needs mwscd.adt, mwscd.adi, mwscr.adt, mwscr.adi' refused.log || fail "$(cat refused.log)"
[ ! -e bad.exe ] || fail "mksfx.exe left a refused output"

# Signed with a throwaway certificate.
openssl req -x509 -newkey rsa:2048 -nodes -keyout vendor.key -out vendor.crt -days 2 \
  -subj "/CN=Tessaline test vendor" 2>/dev/null || fail "openssl could not make a certificate"
osslsigncode sign -certs vendor.crt -key vendor.key -n "Tessaline add-on 6.1" \
  -in setup.exe -out signed.exe > sign.log 2>&1 || { cat sign.log; fail "osslsigncode sign"; }
osslsigncode verify -CAfile vendor.crt -in signed.exe > osslverify.log 2>&1 ||
  { cat osslverify.log; fail "osslsigncode verify"; }
"$kit/mksfx" --verify signed.exe > verify.log || { cat verify.log; fail "mksfx --verify on the signed file"; }
grep -q 'signed: certificate table of' verify.log || fail "the signature was not seen: $(cat verify.log)"
wine "$kit/mksfx.exe" --verify signed.exe </dev/null > wine-verify.log 2>&1 ||
  { cat wine-verify.log; fail "mksfx.exe --verify on the signed file"; }
# Signed before packing would leave the payload outside the signature.
if "$kit/mksfx" --installer signed.exe -o twice.exe vendor/* > twice.log 2>&1; then
  fail "a signed installer was packed"
fi
grep -q 'is signed already' twice.log || fail "$(cat twice.log)"

# Installed under Wine: the real window, Install, the version dialog, OK. The
# prefix's services started above know no display; the installer's window
# needs the private one the install script starts, so Wine starts afresh there.
wineserver -k >/dev/null 2>&1 || true
wineserver -w
timeout -k 10 240 python3 "$here/mksfx_signed_install.py" "$work/signed.exe" \
  "$build/tests/win32/windriver.exe" "6.1.0.3" "$demo/6.1/CVCopySCR.exe"
