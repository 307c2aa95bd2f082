#!/usr/bin/env bash
# Builds every program of bench/ for x86_64, runs each under wine64 and writes
# the report: docs/bench/REPORT.md with each program's figures and its charts
# (change-delivery latency by listener processes, throughput by batch size, and
# scripts/bench-charts.sh's growth charts).
# VTLS_BUILD_DIR replaces build/win64 (the win64 preset's folder), VTLS_WINEPREFIX
# the prefix, VTLS_REPORT_DIR the report's folder, so a run can stay clear of
# others' builds.
#
# scripts/bench.sh --wow64 instead runs every program twice under the WoW64
# Wine 10 (scripts/wow64-run.sh), the i686 build's (build/win32, or
# VTLS_BUILD_DIR32) and the x86_64 build's (build/win64, or VTLS_BUILD_DIR),
# one after the other in one prefix, and writes docs/bench/WOW64.md with the
# two outputs of each program side by side.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [ "${1:-}" = --wow64 ]; then
  exec scripts/bench-wow64.sh
fi

build_dir="${VTLS_BUILD_DIR:-build/win64}"
report_dir="${VTLS_REPORT_DIR:-docs/bench}"
scripts/setup.sh
cmake --preset win64 -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target benchmarks >/dev/null
source scripts/wine-server.sh

load_at_start="$(cut -d' ' -f1-3 /proc/loadavg)"
mkdir -p "$report_dir"
report_abs="$(cd "$report_dir" && pwd)"
data="$(mktemp -d)"
trap 'rm -rf "$data"; vtls_stop_wineserver' EXIT

programs=()
for exe in "$build_dir"/bin/*_bench.exe; do
  programs+=("$(basename "$exe" .exe)")
done
for name in "${programs[@]}"; do
  echo "== $name" >&2
  arguments=()
  # Wine sees the host's root as drive Z:.
  [ "$name" = notify_bench ] && arguments=(--data "Z:${data//\//\\}")
  scripts/wine-run.sh "$build_dir/bin/$name.exe" "${arguments[@]}" </dev/null | tr -d '\r' | tee "$data/$name.txt"
done

charts=()
if command -v gnuplot >/dev/null && [ -s "$data/latency_by_listeners.dat" ]; then
  gnuplot <<GNUPLOT
set terminal pngcairo size 800,480 font ",10"
set grid
set key top left
set output "$report_abs/latency_by_listeners.png"
set title "One flushed change: SHChangeNotify2 post -> return"
set xlabel "listener processes"
set ylabel "microseconds"
set xtics (1, 2, 4)
set yrange [0:*]
plot "$data/latency_by_listeners.dat" using 1:2 with linespoints lw 2 title "p50", \
     "" using 1:3 with linespoints lw 2 title "p99"
set output "$report_abs/throughput_by_batch.png"
set title "Changes delivered: records per second by batch size"
set xlabel "records per flush"
set ylabel "records per second"
set logscale x
set xtics auto
set format y "%.0f"
plot "$data/throughput_by_batch.dat" using 1:2 with linespoints lw 2 title "1 listener process", \
     "" using 1:3 with linespoints lw 2 title "2 listener processes", \
     "" using 1:4 with linespoints lw 2 title "4 listener processes"
GNUPLOT
  charts=(latency_by_listeners.png throughput_by_batch.png)
  if scripts/bench-charts.sh "$report_abs" "" "x86_64, Wine 8=$data"; then
    charts+=(growth_listeners.png growth_unrelated.png growth_children.png storm.png)
  fi
fi

{
  echo "# Benchmark report"
  echo
  echo "Written by \`scripts/bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), commit"
  echo "\`$(git rev-parse --short HEAD 2>/dev/null || echo unknown)\`, x86_64 DLL under wine64 ($(nproc) cores,"
  echo "shared with other work: trust the medians and the ratios measured in the same run over any single"
  echo "figure). Every program prints medians and ratios against its peers or floors, measured in the"
  echo "same run; none asserts a time. Load average (1, 5, 15 min) when the run began: $load_at_start."
  echo
  for chart in "${charts[@]}"; do
    echo "![${chart%.png}]($chart)"
    echo
  done
  for name in "${programs[@]}"; do
    echo "## $name"
    echo
    echo '```'
    cat "$data/$name.txt"
    echo '```'
    echo
  done
} >"$report_abs/REPORT.md"
echo "report: $report_dir/REPORT.md" >&2
