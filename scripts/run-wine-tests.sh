#!/usr/bin/env bash
# Runs the win64 test preset with one persistent wineserver for the whole run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/wine-server.sh
ctest --preset win64 "$@"
