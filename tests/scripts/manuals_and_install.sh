#!/usr/bin/env bash
# tunzip's and mksfx's manuals render without a warning and name every option
# of their usage and every exit code; `cmake --install` puts both programs and
# their manuals in place, stripped, with the bare installer where the
# installed mksfx finds it. usage: manuals_and_install.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
for tool in groff man readelf; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is missing (Debian: groff-base, man-db, binutils)"; exit 1; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# check_manual MANUAL OPTIONS CODES: OPTIONS and CODES as the usage and the
# program's exit codes give them, one a line.
check_manual() {
  local manual=$1 options=$2 codes=$3 warnings rendered
  warnings=$(groff -ww -man -Tutf8 "$manual" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$manual: groff warns: $warnings"
  warnings=$(MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$manual: man -l warns: $warnings"
  rendered=$(MANWIDTH=200 man -l "$manual" 2>/dev/null | col -b)
  [ -n "$options" ] || fail "$manual: no options in the usage"
  for option in $options; do
    grep -qE "^ +(-[A-Za-z], )?${option}\b" <<<"$rendered" || fail "$manual does not describe $option"
  done
  [ -n "$codes" ] || fail "$manual: no exit codes found"
  for code in $codes; do
    grep -qE "^ +$code +[A-Z]" <<<"$rendered" || fail "$manual does not explain exit code $code"
  done
}

check_manual "$source_dir/tools/tunzip/tunzip.1" \
  "$("$build/tools/tunzip/tunzip" -h | grep -oE '(^|[ ,])--?[A-Za-z0-9][a-z0-9]*' | sed 's/^[ ,]*//' | sort -u)" \
  "$(grep -oE '= [0-9]+,' "$source_dir/tools/tunzip/ExitCodes.h" | grep -oE '[0-9]+' | sort -un)"
check_manual "$source_dir/tools/mksfx/mksfx.1" \
  "$("$build/tools/mksfx/mksfx" --help | grep -oE '(^|[ [|])--?[a-z][a-z-]*' | sed 's/^[ [|]*//' | sort -u)" \
  "$(grep -oE 'kExit[A-Za-z]+ = [0-9]+' "$source_dir/tools/mksfx/Options.h" | grep -oE '[0-9]+$')"

prefix=$build/scratch/manuals_and_install
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
installer=$prefix/libexec/tessaline/CVCustomScrZipBase
for program in "$prefix/bin/mksfx" "$prefix/bin/tunzip" "$installer"; do
  [ -x "$program" ] || { fail "$program not installed"; continue; }
  ! readelf -S "$program" | grep -qE '\.(symtab|debug_info)' || fail "$program is not stripped"
done
for name in tunzip mksfx; do
  cmp -s "$source_dir/tools/$name/$name.1" "$prefix/share/man/man1/$name.1" ||
    fail "no share/man/man1/$name.1 installed"
done
"$prefix/bin/tunzip" --version | grep -q '^tunzip ' || fail "the installed tunzip does not run"
"$prefix/bin/mksfx" --version | grep -q '^mksfx 1\.' || fail "the installed mksfx does not say its version"
# The installed packer finds the installed installer without being told.
demo=$build/tools/demo-payload
(cd "$demo" && "$prefix/bin/mksfx" -o "$prefix/setup" CVCopySCR.exe mwscd.adt mwscd.adi MWSCR.ADT \
  MWSCR.ADI) >"$prefix/pack.log" 2>&1 || fail "the installed mksfx cannot pack: $(cat "$prefix/pack.log")"
[ -f "$prefix/setup" ] && cmp -s -n "$(stat -c %s "$installer")" "$installer" "$prefix/setup" ||
  fail "the installed mksfx did not pack into the installed installer"
rm -rf "$prefix"
[ $failures -eq 0 ] && echo "manuals and install: 0 failures"
exit $((failures > 0))
