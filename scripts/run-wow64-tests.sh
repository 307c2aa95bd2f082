#!/usr/bin/env bash
# Runs the win32 test preset: the i686 build's programs under the WoW64 Wine 10
# (scripts/wow64-run.sh), with one wineserver for the whole run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/wow64-setup.sh
source scripts/wow64-server.sh
ctest --preset win32 "$@"
