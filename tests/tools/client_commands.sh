#!/usr/bin/env bash
# vtls browse, watch and notify against a running vtls serve, each a process of
# its own under wine64: the tree comes from the server, and ordinary, deferred
# and private changes reach the listeners they are meant for.
# Usage: client_commands.sh <vtls.exe>
set -euo pipefail
vtls_exe="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../support/wine_processes.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../samples/sample_names.sh"
server="$(sample_name HostScada)/$(sample_name ServerSimulation)"
bit="$(sample_name HostScada)/$(sample_name ServerPlcBridge)/$(sample_name BranchKiln)/$(sample_name ItemKilnBit)"

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
sed -i 's/\r$//' "$logs/browse.log"
grep -qxF "        $(sample_name ItemRampsInt)  [item, VT_I4]" "$logs/browse.log" || fail "browse: item at its level"
grep -qxF "          $(sample_name ItemPumpSpeed)  [item, VT_UI2]" "$logs/browse.log" || fail "browse: deep item"
grep -q 'vtls browse: 84 entries, 85 requests, 0 failed' "$logs/browse.log" || fail "browse: totals"

start watch "$vtls_exe" watch --count 2 --seconds "$timeout_s"
watch_pid="$!"
wait_ready watch "$watch_pid"
"$run" "$vtls_exe" notify updatedir --path "$server" >"$logs/notify.log" 2>&1 ||
  fail "notify"
"$run" "$vtls_exe" notify renameitem --nowait --path "$bit" \
  --path2 "$(sample_name HostLab)" >"$logs/notify-nowait.log" 2>&1 || fail "notify --nowait"
grep -q 'the flush went out' "$logs/notify-nowait.log" || fail "notify --nowait: no flush seen"
# A private change stays in the posting process.
"$run" "$vtls_exe" notify mkdir --private --path "$(sample_name HostLab)" >"$logs/notify-private.log" 2>&1 ||
  fail "notify --private"
grep -qF "WM_VTLS_FSNOTIFY_PRIVATE  list1 $(sample_name HostLab)" "$logs/notify-private.log" || fail "notify --private: delivery"

wait "$watch_pid" || fail "watch exit status"
grep -qF "WM_VTLS_FSNOTIFY  event 0x00001000 SHCNE_UPDATEDIR  list1 ${server//\//\\}  list2 -" \
  "$logs/watch.log" || fail "watch: updatedir"
grep -qF "SHCNE_RENAMEITEM  list1 $(sample_name HostScada)\\$(sample_name ServerPlcBridge)\\$(sample_name BranchKiln)\\$(sample_name ItemKilnBit)  list2 $(sample_name HostLab)" \
  "$logs/watch.log" || fail "watch: renameitem"
grep -q 'count reached; 2 changes received' "$logs/watch.log" || fail "watch: count"
grep -q 'PRIVATE' "$logs/watch.log" && fail "watch received another process's private change"

stop serve "$serve_pid"
grep -q 'stop event set; stopping' "$logs/serve.log" || fail "serve: the stop request"
grep -q 'answered 85 requests, refused 0' "$logs/serve.log" || fail "serve: totals"
echo "client commands: all checks passed"
