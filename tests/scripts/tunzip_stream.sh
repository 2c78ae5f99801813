#!/usr/bin/env bash
# tunzip reads archives from standard input and FIFOs, by their local headers.
# usage: tunzip_stream.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/tunzip_stream.py" "$1/tools/tunzip/tunzip" "$1/scratch/tunzip_stream"
