#!/usr/bin/env bash
# tunzip on several threads writes and prints what it does on one.
# usage: tunzip_threads.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/tunzip_threads.py" "$1/tools/tunzip/tunzip" "$2" "$1/scratch/tunzip_threads"
