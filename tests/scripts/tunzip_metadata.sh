#!/usr/bin/env bash
# tunzip restores permission bits, symbolic links that stay inside the target
# folder, and file and folder times. usage: tunzip_metadata.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/tunzip_metadata.py" "$1/tools/tunzip/tunzip" "$1/scratch/tunzip_metadata"
