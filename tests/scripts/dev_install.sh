#!/usr/bin/env bash
# ./dev's install step on a fresh machine, against stand-ins for dpkg and apt:
# a mirror in the middle of a sync ("File has unexpected size") is read again
# and the install retried; a machine that cannot install 32-bit Wine gets the
# rest and goes on with the x86_64 stand-in, saying so.
# usage: dev_install.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
work="$1/scratch/dev_install"
rm -rf "$work"
mkdir -p "$work/bin" "$work/lib"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Every package is missing; apt-get logs its calls and fails as $APT_FAULT says.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
exit 1
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/bin/sh
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$APT_LOG"
case "$*" in *install*) ;; *) exit 0 ;; esac
updates=$(grep -c update "$APT_LOG")
case "$APT_FAULT" in
  mid-sync) [ "$updates" -ge 2 ] && exit 0 ;;
  no-wine32) case "$*" in *wine32:i386*) ;; *) exit 0 ;; esac ;;
esac
echo "E: Failed to fetch http://deb.debian.org/debian/pool/main/w/wine/wine32_8.0.deb  File has unexpected size (1 != 2)" >&2
exit 100
STUB
cat >"$work/bin/id" <<'STUB'
#!/bin/sh
echo 0
STUB
chmod +x "$work/bin/"*

# ./dev's functions without its command dispatch.
functions="$work/dev-functions"
sed '/^case "\${1:-}" in/,$d' "$source_dir/dev" >"$functions"
run_install() {  # run_install FAULT: prints what ./dev said, then the apt calls
  : >"$work/apt.log"
  PATH="$work/bin:$PATH" APT_LOG="$work/apt.log" APT_FAULT=$1 \
    bash -c "source '$functions'; install_packages" >"$work/said.log" 2>&1
}

run_install mid-sync || fail "mid-sync: the install failed: $(cat "$work/said.log")"
[ "$(grep -c '^update' "$work/apt.log")" = 2 ] && [ "$(grep -c 'install' "$work/apt.log")" = 2 ] ||
  fail "mid-sync: apt was not run update, install, update, install: $(cat "$work/apt.log")"
grep -q 'reading the package lists again and retrying' "$work/said.log" ||
  fail "mid-sync: nothing said: $(cat "$work/said.log")"

run_install no-wine32 || fail "no-wine32: the install failed: $(cat "$work/said.log")"
last=$(grep install "$work/apt.log" | tail -n 1)
case "$last" in *wine32:i386*) fail "no-wine32: the last install still asked for wine32" ;; esac
case "$last" in *wine64*) ;; *) fail "no-wine32: wine64 was not installed: $last" ;; esac
grep -q 'wine32:i386 cannot be installed: going on without 32-bit Wine' "$work/said.log" ||
  fail "no-wine32: nothing said: $(cat "$work/said.log")"

# Without 32-bit Wine, the tests choose the x86_64 build and say so.
printf '#!/bin/sh\nexit 0\n' >"$work/lib/wine64" && chmod +x "$work/lib/wine64"
said=$(sed "s:/usr/lib/wine/:$work/lib/:g" "$functions" >"$work/dev-choose" &&
  bash -c "source '$work/dev-choose'; root='$work'; choose_windows_arch; echo arch=\$windows_arch")
grep -q 'wine32:i386) is not installed: the Windows tests run on an x86_64 build' <<<"$said" &&
  grep -q 'arch=x86_64' <<<"$said" || fail "without 32-bit Wine: $said"

rm -rf "$work"
[ $failures -eq 0 ] && echo "dev install: 0 failures"
exit $((failures > 0))
