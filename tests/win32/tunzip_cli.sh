#!/usr/bin/env bash
# tunzip.exe under Wine: combined letters, options after the archive, the
# listings through a pipe, exit codes. usage: tunzip_cli.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
command -v wine >/dev/null || { echo "FAIL: wine is not installed (Debian: wine)"; exit 1; }
scratch=$build/scratch/tunzip_cli
rm -rf "$scratch"
mkdir -p "$scratch"
# The prefix's services start here, away from the pipes the checks read.
wine wineboot </dev/null >/dev/null 2>&1 || true
printf '#!/bin/sh\nWINEDEBUG=-all exec wine "%s" "$@"\n' "$build/tools/tunzip/tunzip.exe" >"$scratch/tunzip"
chmod +x "$scratch/tunzip"
python3 "$here/tunzip_cli.py" "$scratch/tunzip" "$scratch/work"
