#!/usr/bin/env bash
# Archives from zip, 7-Zip, Python's zipfile and bsdtar, and a 20,000-file
# folder, extracted by tunzip and UnZip under two time zones and compared.
# usage: tunzip_producers.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
python3 "$here/tunzip_producers.py" "$build/tools/tunzip/tunzip" "$build/scratch/tunzip_producers" \
  "$build/cache"
