#!/usr/bin/env bash
# tunzip's manual renders without a warning and names every option of the
# usage and every exit code; `cmake --install` puts tunzip and its manual in
# place. usage: tunzip_manual.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
manual=$source_dir/tools/tunzip/tunzip.1
for tool in groff man; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is missing (Debian: groff-base, man-db)"; exit 1; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

warnings=$(groff -ww -man -Tutf8 "$manual" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "groff warns: $warnings"
warnings=$(MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man -l warns: $warnings"
rendered=$(MANWIDTH=200 man -l "$manual" 2>/dev/null | col -b)

# Every option the usage names, and every exit code, has its place.
options=$("$build/tools/tunzip/tunzip" -h | grep -oE '(^|[ ,])--?[A-Za-z0-9][a-z0-9]*' |
  sed 's/^[ ,]*//' | sort -u)
[ -n "$options" ] || fail "no options in the usage"
for option in $options; do
  grep -qE "^ +(-[A-Za-z], )?${option}\b" <<<"$rendered" || fail "the manual does not describe $option"
done
codes=$(grep -oE '= [0-9]+,' "$source_dir/tools/tunzip/ExitCodes.h" | grep -oE '[0-9]+' | sort -un)
for code in $codes; do
  grep -qE "^ +$code +[A-Z]" <<<"$rendered" || fail "the manual does not explain exit code $code"
done

prefix=$build/scratch/tunzip_manual
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/tunzip" ] || fail "no bin/tunzip installed"
"$prefix/bin/tunzip" --version | grep -q '^tunzip ' || fail "the installed tunzip does not run"
cmp -s "$manual" "$prefix/share/man/man1/tunzip.1" || fail "no share/man/man1/tunzip.1 installed"
rm -rf "$prefix"
[ $failures -eq 0 ] && echo "manual and install: 0 failures"
exit $((failures > 0))
