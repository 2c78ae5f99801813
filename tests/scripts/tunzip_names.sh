#!/usr/bin/env bash
# Member names survive whole from the archive to the file system, and members
# that land on one file are never merged silently.
# usage: tunzip_names.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/tunzip_names.py" "$1/tools/tunzip/tunzip" "$2" "$1/scratch/tunzip_names"
