#!/usr/bin/env bash
# Creates (once) the headless Wine prefix: null graphics driver, no Mono/Gecko prompts.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

if [ -f "$WINEPREFIX/.vtls-ready" ]; then
  exit 0
fi
mkdir -p "$WINEPREFIX"
echo "wine-prefix: creating $WINEPREFIX (about a minute)" >&2
"$WINE64" wineboot --init >/dev/null 2>&1 || true
"$WINESERVER" -w
# Hidden windows only: the null driver needs no X server.
"$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$WINESERVER" -w
touch "$WINEPREFIX/.vtls-ready"
