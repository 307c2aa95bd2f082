#!/usr/bin/env bash
# The main job: builds the 64-bit DLL and tool and prints `vtls info` under wine64.
# Extra arguments replace "info": scripts/demo.sh --help
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target vtls VantrelSh VantrelUi >/dev/null
source scripts/wine-server.sh
if [ "$#" -eq 0 ]; then set -- info; fi
scripts/wine-run.sh build/win64/bin/vtls.exe "$@"
