#!/usr/bin/env bash
# tunzip.exe under Wine on the methods and ciphers of tunzip_methods: AES
# through CNG, the compression methods through the cross-built libraries,
# or refused by name when the build lacks them.
# usage: tunzip_methods.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
command -v wine >/dev/null || { echo "FAIL: wine is not installed (Debian: wine)"; exit 1; }
scratch=$build/scratch/tunzip_methods
mkdir -p "$scratch"
wine wineboot </dev/null >/dev/null 2>&1 || true
printf '#!/bin/sh\nWINEDEBUG=-all exec wine "%s" "$@"\n' "$build/tools/tunzip/tunzip.exe" >"$scratch/../tunzip_methods.exe.sh"
chmod +x "$scratch/../tunzip_methods.exe.sh"
lacking=()
grep -q '^TESSALINE_METHOD_LIBRARIES:INTERNAL=ON' "$build/CMakeCache.txt" || lacking=(--lacking)
python3 "$here/../scripts/tunzip_methods.py" "$scratch/../tunzip_methods.exe.sh" "$scratch" "${lacking[@]}"
