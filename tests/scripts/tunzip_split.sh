#!/usr/bin/env bash
# tunzip reads a split set (a.z01, a.z02, a.zip) made by Info-ZIP zip -s.
# usage: tunzip_split.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/tunzip_split.py" "$1/tools/tunzip/tunzip" "$1/scratch/tunzip_split"
