#!/usr/bin/env bash
# bzip2, LZMA, XZ, Zstandard and WinZip AES from every producer here, read by
# tunzip and compared with 7-Zip. usage: tunzip_methods.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
python3 "$here/tunzip_methods.py" "$build/tools/tunzip/tunzip" "$build/scratch/tunzip_methods"
