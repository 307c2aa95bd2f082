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
for preset in win32 win64 native; do
  echo "== build $preset"
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== built $preset in $((SECONDS - start)) s"
done

# The three suites share nothing (each has its own build, Wine prefix and
# wineserver) and mostly wait on Wine's processes and timers, so they run side
# by side; each one's output is printed whole when all are done. Every suite
# runs to its end; the result is the worst.
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT
start=$SECONDS
declare -A pids
ctest --preset native -j2 >"$logs/native" 2>&1 </dev/null & pids[native]=$!
scripts/run-wow64-tests.sh >"$logs/win32" 2>&1 </dev/null & pids[win32]=$!
scripts/run-wine-tests.sh >"$logs/win64" 2>&1 </dev/null & pids[win64]=$!
failed=()
for suite in native win32 win64; do
  wait "${pids[$suite]}" || failed+=("$suite")
done
for suite in native win32 win64; do
  case $suite in
    native) echo "== test native" ;;
    win32) echo "== test win32 (WoW64 Wine 10)" ;;
    win64) echo "== test win64 (wine64)" ;;
  esac
  cat "$logs/$suite"
done
echo "== tests ran in $((SECONDS - start)) s"
if [ "${#failed[@]}" -ne 0 ]; then
  echo "== failed: ${failed[*]}"
  exit 1
fi
echo "== all tests passed"
