#!/usr/bin/env bash
# mksfx's manual renders without a warning and names every option of the
# usage and every exit code; `cmake --install` puts mksfx, its manual and the
# bare installer where the installed mksfx finds it, and strips the programs.
# usage: mksfx_manual.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
manual=$source_dir/tools/mksfx/mksfx.1
for tool in groff man readelf; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is missing (Debian: groff-base, man-db, binutils)"; exit 1; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

warnings=$(groff -ww -man -Tutf8 "$manual" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "groff warns: $warnings"
warnings=$(MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man -l warns: $warnings"
rendered=$(MANWIDTH=200 man -l "$manual" 2>/dev/null | col -b)
options=$("$build/tools/mksfx/mksfx" --help | grep -oE '(^|[ [|])--?[a-z][a-z-]*' | sed 's/^[ [|]*//' |
  sort -u)
[ -n "$options" ] || fail "no options in the usage"
for option in $options; do
  grep -qE "^ +(-[A-Za-z], )?${option}\b" <<<"$rendered" || fail "the manual does not describe $option"
done
codes=$(grep -oE 'kExit[A-Za-z]+ = [0-9]+' "$source_dir/tools/mksfx/Options.h" | grep -oE '[0-9]+$')
[ -n "$codes" ] || fail "no exit codes in Options.h"
for code in $codes; do
  grep -qE "^ +$code +[A-Z]" <<<"$rendered" || fail "the manual does not explain exit code $code"
done

prefix=$build/scratch/mksfx_manual
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
installer=$prefix/libexec/tessaline/CVCustomScrZipBase
for program in "$prefix/bin/mksfx" "$prefix/bin/tunzip" "$installer"; do
  [ -x "$program" ] || { fail "$program not installed"; continue; }
  ! readelf -S "$program" | grep -qE '\.(symtab|debug_info)' || fail "$program is not stripped"
done
cmp -s "$manual" "$prefix/share/man/man1/mksfx.1" || fail "no share/man/man1/mksfx.1 installed"
"$prefix/bin/mksfx" --version | grep -q '^mksfx 1\.' || fail "the installed mksfx does not say its version"
# The installed packer finds the installed installer without being told.
demo=$build/tools/demo-payload
(cd "$demo" && "$prefix/bin/mksfx" -o "$prefix/setup" CVCopySCR.exe mwscd.adt mwscd.adi MWSCR.ADT \
  MWSCR.ADI) >"$prefix/pack.log" 2>&1 || fail "the installed mksfx cannot pack: $(cat "$prefix/pack.log")"
[ -f "$prefix/setup" ] && cmp -s -n "$(stat -c %s "$installer")" "$installer" "$prefix/setup" ||
  fail "the installed mksfx did not pack into the installed installer"
rm -rf "$prefix"
[ $failures -eq 0 ] && echo "mksfx manual and install: 0 failures"
exit $((failures > 0))
