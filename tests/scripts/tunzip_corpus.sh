#!/usr/bin/env bash
# tunzip -l --tsv agrees with Python's zipfile on the corpus; refused and
# damaged archives fail cleanly. usage: tunzip_corpus.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/corpus_listing.py" "$1/tools/tunzip/tunzip" "$2"
