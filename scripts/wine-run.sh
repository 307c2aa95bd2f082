#!/usr/bin/env bash
# Runs one Windows program under wine64 in the project's headless prefix.
# CTest uses this as the cross-compiling emulator of the win64 build.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
if [ ! -f "$WINEPREFIX/.vtls-ready" ]; then
  "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
fi
exec "$WINE64" "$@"
