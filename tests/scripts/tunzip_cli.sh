#!/usr/bin/env bash
# tunzip's options, masks, names, messages and exit codes.
# usage: tunzip_cli.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch="$1/scratch/tunzip_cli"
rm -rf "$scratch"
python3 "$here/tunzip_cli.py" "$1/tools/tunzip/tunzip" "$scratch"
rm -rf "$scratch"
