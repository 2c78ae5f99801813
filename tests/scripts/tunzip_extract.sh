#!/usr/bin/env bash
# tunzip extracts the corpus as 7-Zip does and as the stored CRC-32s say, and
# refuses damaged archives cleanly. usage: tunzip_extract.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/corpus_extract.py" "$1/tools/tunzip/tunzip" "$2" "$1/scratch/tunzip_extract"
