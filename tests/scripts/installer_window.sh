#!/usr/bin/env bash
# The Win32 installer's real windows under Wine on a private Xvfb display:
# layout, keys, dialogs, clipboard, install, and screenshots into
# BUILD_DIR/artifacts. usage: installer_window.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
for tool in wine wineserver Xvfb python3 import identify; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done
installer=$build/CVCustomScrZipBase.exe
windriver=$build/tests/win32/windriver.exe
for f in "$installer" "$windriver"; do
  [ -f "$f" ] || { echo "FAIL: $f not built" >&2; exit 1; }
done
scratch=$build/scratch/installer_window
mkdir -p "$scratch"

# A display of our own: Xvfb picks a free number and reports it.
display_file=$scratch/display
rm -f "$display_file"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>"$scratch/xvfb.log" &
xvfb=$!
cleanup() {
  WINEPREFIX=$scratch/prefix wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$scratch/xvfb.log" >&2; echo "FAIL: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$display_file" ] || { echo "FAIL: Xvfb reported no display" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$display_file")

# The harness bounds each wait itself; this bounds the whole run.
timeout -k 10 240 python3 "$here/installer_window.py" "$installer" "$windriver" "$scratch/run" "$build/artifacts"
