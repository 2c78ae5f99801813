#!/usr/bin/env bash
# The native installer end to end through its transcript, each case in a
# fresh prefix. usage: installer_e2e.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/installer_e2e.py" "$1/CVCustomScrZipBase" "$1/scratch/installer_e2e"
