#!/usr/bin/env bash
# Builds the 64-bit benchmarks and runs them under wine64, one after the other;
# they print their figures.
# VTLS_BUILD_DIR replaces build/win64 (the win64 preset's folder), VTLS_WINEPREFIX
# the prefix, so a run can stay clear of others' builds.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_dir="${VTLS_BUILD_DIR:-build/win64}"
scripts/setup.sh
cmake --preset win64 -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target itemid_bench notify_bench icon_bench >/dev/null
source scripts/wine-server.sh
scripts/wine-run.sh "$build_dir/bin/itemid_bench.exe"
echo
scripts/wine-run.sh "$build_dir/bin/notify_bench.exe"
echo
scripts/wine-run.sh "$build_dir/bin/icon_bench.exe"
