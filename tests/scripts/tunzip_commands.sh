#!/usr/bin/env bash
# The same command lines through UnZip and tunzip, compared as a script sees
# them. usage: tunzip_commands.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch="$1/scratch/tunzip_commands"
python3 "$here/tunzip_commands.py" "$1/tools/tunzip/tunzip" "$2" "$scratch"
rm -rf "$scratch"
