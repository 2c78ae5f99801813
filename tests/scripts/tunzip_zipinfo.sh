#!/usr/bin/env bash
# tunzip -Z lists what Info-ZIP's zipinfo lists, byte for byte.
# usage: tunzip_zipinfo.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch="$1/scratch/tunzip_zipinfo"
python3 "$here/tunzip_zipinfo.py" "$1/tools/tunzip/tunzip" "$2" "$scratch"
rm -rf "$scratch"
