#!/usr/bin/env bash
# A 32-bit and a 64-bit process in one prefix of the WoW64 Wine, exchanging
# what the library promises to keep byte-identical across widths, each way:
# item lists written to a stream, a registry stream, content requests (the
# CIDA byte for byte) and a change notification (event, both lists, extra
# bytes). Then vtls itself: serve/browse and watch/notify across the widths.
# Usage: interop_test.sh <folder of the i686 programs> <folder of the x86_64 programs>
set -euo pipefail
bin32="$1"
bin64="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../support/wine_processes.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../samples/sample_names.sh"

for dir in "$bin32" "$bin64"; do
  for program in vtls_probe.exe vtls.exe VantrelSh.dll VantrelUi.dll; do
    [ -f "$dir/$program" ] || fail "$dir/$program is missing (the x86_64 programs come from the win64 build)"
  done
done
peer32="$bin32/vtls_probe.exe"
peer64="$bin64/vtls_probe.exe"

# The first Wine process of a fresh wineserver starts services that would hold a pipe open.
"$run" cmd /c exit >/dev/null 2>&1 </dev/null || true

# runs <log> <program> [arguments]: one program to its end, its output in $logs/<log>.log.
runs() {
  local name="$1"
  shift
  "$run" "$@" >"$logs/$name.log" 2>&1 </dev/null || fail "$name"
}
# Each program really runs at its width.
runs arch32 "$peer32" arch
runs arch64 "$peer64" arch
grep -q 'probe 32-bit' "$logs/arch32.log" || fail "the i686 probe is not 32-bit"
grep -q 'probe 64-bit' "$logs/arch64.log" || fail "the x86_64 probe is not 64-bit"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
key='Software\VtlsInteropTest'
"$run" reg delete "HKCU\\$key" /f >/dev/null 2>&1 </dev/null || true

# One width writes or serves, the other reads, requests or listens; each side
# checks the bytes against the same sample made by its own width's library.
for pair in "$peer32 $peer64 32-to-64" "$peer64 $peer32 64-to-32"; do
  read -r from to name <<<"$pair"
  runs "ids-write-$name" "$from" ids-write "$(windows_path "$logs/$name.records")"
  runs "ids-read-$name" "$to" ids-read "$(windows_path "$logs/$name.records")"
  runs "regstream-save-$name" "$from" regstream-save "$key" "$name"
  runs "regstream-open-$name" "$to" regstream-open "$key" "$name"
  start "serve-$name" "$from" serve "$timeout_s"
  wait_ready "serve-$name" "$!"
  runs "request-$name" "$to" request
  wait "${background[-1]}" || fail "serve-$name"
  start "listen-$name" "$to" listen "$timeout_s"
  wait_ready "listen-$name" "$!"
  runs "change-post-$name" "$from" change-post
  wait "${background[-1]}" || fail "listen-$name: the change"
done
"$run" reg delete "HKCU\\$key" /f >/dev/null 2>&1 </dev/null || true
cmp -s "$logs/32-to-64.records" "$logs/64-to-32.records" || fail "the two widths write different stream records"
echo "item lists in a stream and a registry stream, content requests (CIDAs byte for byte) and a change (event,"
echo "both lists, extra bytes): 32 -> 64 and 64 -> 32"

# vtls of both widths: the sample namespace served by one, browsed by the other.
vtls_browse_pair() {
  local server="$1" client="$2" name="$3" pid
  start "$name-serve" "$server" serve --seconds "$timeout_s" --stop-event "$(stop_event "$name-serve")"
  pid="$!"
  wait_ready "$name-serve" "$pid"
  "$run" "$client" browse >"$logs/$name-browse.log" 2>&1 </dev/null || fail "$name: browse"
  stop "$name-serve" "$pid"
  grep -q 'vtls browse: 84 entries, 85 requests, 0 failed' "$logs/$name-browse.log" || fail "$name: browse totals"
  grep -q 'answered 85 requests, refused 0' "$logs/$name-serve.log" || fail "$name: serve totals"
}
vtls_browse_pair "$bin32/vtls.exe" "$bin64/vtls.exe" vtls-32-serves-64
vtls_browse_pair "$bin64/vtls.exe" "$bin32/vtls.exe" vtls-64-serves-32
diff <(tr -d '\r' <"$logs/vtls-32-serves-64-browse.log") <(tr -d '\r' <"$logs/vtls-64-serves-32-browse.log") >/dev/null ||
  fail "vtls browse prints different trees across the widths"
echo "vtls serve/browse: across the widths, the same tree"

# vtls watch of one width, vtls notify of the other.
vtls_watch_pair() {
  local watcher="$1" poster="$2" name="$3" pid
  start "$name-watch" "$watcher" watch --count 1 --seconds "$timeout_s"
  pid="$!"
  wait_ready "$name-watch" "$pid"
  "$run" "$poster" notify renameitem --path "$(sample_name HostScada)/$(sample_name ServerSimulation)" \
    --path2 "$(sample_name HostLab)" \
    >"$logs/$name-notify.log" 2>&1 </dev/null || fail "$name: notify"
  wait "$pid" || fail "$name: watch exit status"
  grep -qF "SHCNE_RENAMEITEM  list1 $(sample_name HostScada)\\$(sample_name ServerSimulation)  list2 $(sample_name HostLab)" \
    "$logs/$name-watch.log" ||
    fail "$name: the change watched"
}
vtls_watch_pair "$bin32/vtls.exe" "$bin64/vtls.exe" vtls-64-to-32
vtls_watch_pair "$bin64/vtls.exe" "$bin32/vtls.exe" vtls-32-to-64
echo "vtls watch/notify: across the widths"
echo "interop: all checks passed"
