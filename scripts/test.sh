#!/usr/bin/env bash
# The whole check: installs what is missing (also, once per machine, the Wine 10
# root of scripts/wow64-setup.sh), builds the three presets and runs every test:
# native under the sanitizers; the i686 build under the WoW64 Wine 10 (its
# behaviour tests, its DLL's tables, and the 32/64-bit interop test against the
# win64 build); the x86_64 build under the system's wine64.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/setup.sh
scripts/wow64-setup.sh
for preset in native win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# Every suite runs, also after another one failed; the result is the worst.
failed=()
echo "== test native"
ctest --preset native || failed+=(native)
echo "== test win32 (WoW64 Wine 10)"
scripts/run-wow64-tests.sh || failed+=(win32)
echo "== test win64 (wine64)"
scripts/run-wine-tests.sh || failed+=(win64)
if [ "${#failed[@]}" -ne 0 ]; then
  echo "== failed: ${failed[*]}"
  exit 1
fi
echo "== all tests passed"
