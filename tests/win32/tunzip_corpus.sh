#!/usr/bin/env bash
# tunzip.exe under Wine extracts the corpus as the native tunzip does: the
# same checks against the stored CRC-32s and 7-Zip, the wrong password and the
# damaged archives. usage: tunzip_corpus.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
command -v wine >/dev/null || { echo "FAIL: wine is not installed" >&2; exit 1; }
[ -d "$2" ] || { echo "SKIP: no corpus at $2"; exit 0; }
corpus=$(cd "$2" && pwd)
scratch=$build/scratch/tunzip_corpus
rm -rf "$scratch"
mkdir -p "$scratch"
# The prefix's services start here, away from the output pipe that the
# checks read: a service started by a captured tunzip would keep it open.
wine wineboot </dev/null >/dev/null 2>&1 || true
printf '#!/bin/sh\nWINEDEBUG=-all exec wine "%s" "$@"\n' "$build/tools/tunzip/tunzip.exe" >"$scratch/tunzip"
chmod +x "$scratch/tunzip"
python3 "$here/../scripts/corpus_extract.py" "$scratch/tunzip" "$corpus" "$scratch/work"
