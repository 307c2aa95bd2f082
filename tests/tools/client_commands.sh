#!/usr/bin/env bash
# vtls browse, watch and notify against a running vtls serve, each a process of
# its own under wine64: the tree comes from the server, and ordinary, deferred
# and private changes reach the listeners they are meant for.
# Usage: client_commands.sh <vtls.exe>
set -euo pipefail
vtls_exe="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../support/wine_processes.sh"

# Without a server the client says so.
if "$run" "$vtls_exe" browse >"$logs/noserver.log" 2>&1; then
  fail "browse succeeded without a server"
fi
grep -q 'no server answered' "$logs/noserver.log" || fail "browse without a server"

start serve "$vtls_exe" serve --seconds "$timeout_s" --stop-event "$(stop_event serve)"
serve_pid="$!"
wait_ready serve "$serve_pid"
grep -q 'serves already' "$logs/serve.log" && fail "another process holds the server role"

"$run" "$vtls_exe" browse >"$logs/browse.log" 2>&1 || fail "browse"
# Every entry of the sample is listed once per place, the deepest at level 4.
grep -q $'^        Random.Int4  \\[item, VT_I4\\]\r*$' "$logs/browse.log" || fail "browse: item at its level"
grep -q $'^          Channel1.Device1.Tag1  \\[item, VT_UI2\\]\r*$' "$logs/browse.log" || fail "browse: deep item"
grep -q 'vtls browse: 84 entries, 85 requests, 0 failed' "$logs/browse.log" || fail "browse: totals"

start watch "$vtls_exe" watch --count 2 --seconds "$timeout_s"
watch_pid="$!"
wait_ready watch "$watch_pid"
"$run" "$vtls_exe" notify updatedir --path PLANT-SCADA01/Matrikon.OPC.Simulation.1 >"$logs/notify.log" 2>&1 ||
  fail "notify"
"$run" "$vtls_exe" notify renameitem --nowait --path 'PLANT-SCADA01/RSLinx OPC Server/[Line3_PLC5]/[Line3_PLC5]B3:0/4' \
  --path2 LAB-PC17 >"$logs/notify-nowait.log" 2>&1 || fail "notify --nowait"
grep -q 'the flush went out' "$logs/notify-nowait.log" || fail "notify --nowait: no flush seen"
# A private change stays in the posting process.
"$run" "$vtls_exe" notify mkdir --private --path LAB-PC17 >"$logs/notify-private.log" 2>&1 ||
  fail "notify --private"
grep -q 'WM_VTLS_FSNOTIFY_PRIVATE  list1 LAB-PC17' "$logs/notify-private.log" || fail "notify --private: delivery"

wait "$watch_pid" || fail "watch exit status"
grep -q 'WM_VTLS_FSNOTIFY  event 0x00001000 SHCNE_UPDATEDIR  list1 PLANT-SCADA01\\Matrikon.OPC.Simulation.1  list2 -' \
  "$logs/watch.log" || fail "watch: updatedir"
grep -q 'SHCNE_RENAMEITEM  list1 PLANT-SCADA01\\RSLinx OPC Server\\\[Line3_PLC5\]\\\[Line3_PLC5\]B3:0/4  list2 LAB-PC17' \
  "$logs/watch.log" || fail "watch: renameitem"
grep -q 'count reached; 2 changes received' "$logs/watch.log" || fail "watch: count"
grep -q 'PRIVATE' "$logs/watch.log" && fail "watch received another process's private change"

stop serve "$serve_pid"
grep -q 'stop event set; stopping' "$logs/serve.log" || fail "serve: the stop request"
grep -q 'answered 85 requests, refused 0' "$logs/serve.log" || fail "serve: totals"
echo "client commands: all checks passed"
