#!/usr/bin/env bash
# The benchmark programs of both widths under the same WoW64 Wine 10, for
# docs/bench/WOW64.md: each program's i686 and x86_64 outputs side by side.
# Run through scripts/bench.sh --wow64.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build32="${VTLS_BUILD_DIR32:-build/win32}"
build64="${VTLS_BUILD_DIR:-build/win64}"
report_dir="${VTLS_REPORT_DIR:-docs/bench}"
scripts/setup.sh
scripts/wow64-setup.sh
cmake --preset win32 -B "$build32" >/dev/null
cmake --build "$build32" --target benchmarks >/dev/null
cmake --preset win64 -B "$build64" >/dev/null
cmake --build "$build64" --target benchmarks >/dev/null
source scripts/wow64-server.sh

load_at_start="$(cut -d' ' -f1-3 /proc/loadavg)"
mkdir -p "$report_dir"
data="$(mktemp -d)"
trap 'rm -rf "$data"; vtls_stop_wow64_server' EXIT

programs=()
for exe in "$build64"/bin/*_bench.exe; do
  programs+=("$(basename "$exe" .exe)")
done
for name in "${programs[@]}"; do
  for arch in i686 x86_64; do
    dir="$build64"
    [ "$arch" = i686 ] && dir="$build32"
    echo "== $name ($arch)" >&2
    arguments=()
    [ "$name" = notify_bench ] && mkdir -p "$data/$arch" && arguments=(--data "Z:${data//\//\\}\\$arch")
    status=0
    VTLS_WOW64_TIMEOUT=900 scripts/wow64-run.sh "$dir/bin/$name.exe" "${arguments[@]}" </dev/null 2>&1 |
      tr -d '\r' | tee "$data/$name.$arch.txt" || status=$?
    [ "$status" -eq 0 ] || echo "(exit status $status)" >>"$data/$name.$arch.txt"
  done
done

charts=()
if command -v gnuplot >/dev/null &&
  scripts/bench-charts.sh "$report_dir" wow64_ "i686=$data/i686" "x86_64=$data/x86_64"; then
  charts=(wow64_growth_listeners.png wow64_growth_unrelated.png wow64_growth_children.png wow64_storm.png)
fi

html() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' "$1"; }
{
  echo "# Benchmarks: i686 and x86_64 under one Wine"
  echo
  echo "Written by \`scripts/bench.sh --wow64\` on $(date -u '+%Y-%m-%d %H:%M UTC'), commit"
  echo "\`$(git rev-parse --short HEAD 2>/dev/null || echo unknown)\`: every program of \`bench/\` built for i686 and"
  echo "for x86_64, both run under $(scripts/wow64-run.sh --host /bin/sh -c '"$WINE64" --version' 2>/dev/null) (WoW64 mode:"
  echo "the i686 programs run as 32-bit code inside 64-bit processes), one after the other in one prefix, on"
  echo "$(nproc) cores shared with other work: compare the two columns' medians and ratios, each measured in"
  echo "its own run, rather than single figures. The x86_64 report under the system's Wine 8 is"
  echo "[REPORT.md](REPORT.md). Load average (1, 5, 15 min) when the run began: $load_at_start."
  echo
  for chart in "${charts[@]}"; do
    echo "![${chart%.png}]($chart)"
    echo
  done
  for name in "${programs[@]}"; do
    echo "## $name"
    echo
    echo "<table><tr><th>i686</th><th>x86_64</th></tr><tr>"
    for arch in i686 x86_64; do
      echo "<td valign=\"top\"><pre>"
      html "$data/$name.$arch.txt"
      echo "</pre></td>"
    done
    echo "</tr></table>"
    echo
  done
} >"$report_dir/WOW64.md"
echo "report: $report_dir/WOW64.md" >&2
