#!/usr/bin/env bash
# The demo add-on under Wine: a GUI program that needs no display, writes
# started.txt beside itself with its own file version and ends with code 0.
# Usage: demo_payload.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
exe=$build/tools/demo-payload/CVCopySCR.exe
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$exe" ] || fail "$exe not built"
command -v wine >/dev/null || fail "wine is not installed"
work=$(mktemp -d "$build/demo-payload-test.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT

if command -v objdump >/dev/null; then
  headers=$(objdump -p "$exe")
  grep -q '(Windows GUI)' <<<"$headers" || fail "not a Windows GUI program"
fi
folder="$work/Program Files/MEDISOFT/BIN"
mkdir -p "$folder"
cp "$exe" "$folder/CVCopyScr.EXE"
# The prefix made whole before the add-on starts: a first start that also
# makes it has been seen to fail to load kernel32.dll while other Wine tests
# ran beside it.
env -u DISPLAY timeout 120 wine wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "wineboot -i failed"; }
wineserver -w
status=0
env -u DISPLAY timeout 120 wine "$folder/CVCopyScr.EXE" </dev/null >"$work/wine.log" 2>&1 || status=$?
[ "$status" = 0 ] || { cat "$work/wine.log"; fail "the add-on ended with $status"; }
[ -f "$folder/started.txt" ] || fail "no started.txt beside the add-on"
[ "$(cat "$folder/started.txt")" = $'5.2.0.12\r' ] || fail "started.txt: $(od -c "$folder/started.txt")"
echo "demo payload: every check passed"
