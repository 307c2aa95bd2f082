#!/usr/bin/env bash
# The whole check: installs what is missing, builds the three presets and runs
# every test (native under the sanitizers, the 32-bit DLL's tables, and the
# 64-bit DLL under wine64 with one wineserver for the run).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/setup.sh
for preset in native win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

echo "== test native"
ctest --preset native
echo "== test win32"
ctest --preset win32
echo "== test win64 (wine64)"
scripts/run-wine-tests.sh
