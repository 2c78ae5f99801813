#!/usr/bin/env bash
# tunzip.exe under Wine writes every member name whole through the wide file
# calls; the files are checked on the Linux side, where Wine keeps wide names
# as UTF-8. usage: tunzip_names.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
command -v wine >/dev/null || { echo "FAIL: wine is not installed (Debian: wine)"; exit 1; }
scratch=$build/scratch/tunzip_names
rm -rf "$scratch"
mkdir -p "$scratch"
wine wineboot </dev/null >/dev/null 2>&1 || true
printf '#!/bin/sh\nWINEDEBUG=-all exec wine "%s" "$@"\n' "$build/tools/tunzip/tunzip.exe" >"$scratch/tunzip"
chmod +x "$scratch/tunzip"
python3 "$here/../scripts/tunzip_names.py" "$scratch/tunzip" "$2" "$scratch/work" --windows
