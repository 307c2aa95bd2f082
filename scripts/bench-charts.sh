#!/usr/bin/env bash
# The growth charts of the benchmark report, from the series notify_bench
# writes into its data folder: a flushed change by listener processes and by
# unrelated top-level windows, a content request by its children, each beside
# the platform's own round trip, and a storm of deferred changes over time.
#
# usage: scripts/bench-charts.sh OUTPUT_FOLDER PREFIX LABEL=DATA_FOLDER...
# Writes OUTPUT_FOLDER/PREFIXgrowth_listeners.png, ...growth_unrelated.png,
# ...growth_children.png and ...storm.png; one pair of lines per LABEL.
set -euo pipefail

out="$1"
prefix="$2"
shift 2
labels=()
folders=()
for pair in "$@"; do
  labels+=("${pair%%=*}")
  folders+=("${pair#*=}")
done

# plot clauses: ours and the peer of every series, from column 2 and 3.
growth_plot() {
  local file="$1" peer="$2" clauses=() i
  for i in "${!labels[@]}"; do
    [ -s "${folders[$i]}/$file" ] || continue
    clauses+=("\"${folders[$i]}/$file\" using 1:2 with linespoints lw 2 title \"${labels[$i]}: ours\"")
    clauses+=("\"${folders[$i]}/$file\" using 1:3 with linespoints lw 2 dt 2 title \"${labels[$i]}: $peer\"")
  done
  local IFS=,
  echo "${clauses[*]}"
}

storm_plot() {
  local clauses=() i
  for i in "${!labels[@]}"; do
    [ -s "${folders[$i]}/storm.dat" ] || continue
    clauses+=("\"${folders[$i]}/storm.dat\" using 1:(\$2/1000) axes x1y1 with lines lw 2 title \"${labels[$i]}: posted (thousands)\"")
    clauses+=("\"${folders[$i]}/storm.dat\" using 1:(\$3/1000) axes x1y1 with lines lw 2 dt 2 title \"${labels[$i]}: arrived (thousands)\"")
    clauses+=("\"${folders[$i]}/storm.dat\" using 1:4 axes x1y2 with lines lw 1 title \"${labels[$i]}: poster's private MB\"")
  done
  local IFS=,
  echo "${clauses[*]}"
}

listeners="$(growth_plot growth_listeners.dat "WM_NULL to the same windows")"
unrelated="$(growth_plot growth_unrelated.dat "WM_NULL to the same window")"
children="$(growth_plot growth_children.dat "bare ping")"
storm="$(storm_plot)"
[ -n "$listeners" ] || { echo "no growth series in ${folders[*]}" >&2; exit 1; }

gnuplot <<GNUPLOT
set terminal pngcairo size 800,480 font ",10" noenhanced
set grid
set key top left
set yrange [0:*]
set output "$out/${prefix}growth_listeners.png"
set title "One flushed change (post -> return) by listener processes, p50"
set xlabel "listener processes"
set ylabel "microseconds"
set xtics (1, 4, 12)
plot $listeners
set output "$out/${prefix}growth_unrelated.png"
set title "One flushed change, 1 listener process, by unrelated top-level windows, p50"
set xlabel "unrelated top-level windows"
set xtics (0, 100, 1000)
plot $unrelated
set output "$out/${prefix}growth_children.png"
set title "A content request (VtlsGetContentInSync) by its children, p50"
set xlabel "children (the last point: the most under the 512 KiB bound)"
set logscale x
set xtics auto
plot $children
unset logscale x
set output "$out/${prefix}storm.png"
set title "100,000 deferred changes (VTLS_SHCNF_FLUSHNOWAIT): posted, arrived, poster's memory"
set xlabel "seconds since the first post"
set ylabel "thousands of changes"
set y2label "MB private"
set y2tics
set y2range [0:*]
set key bottom right
plot $storm
GNUPLOT
