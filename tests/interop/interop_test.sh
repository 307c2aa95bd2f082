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
  for program in vtls_interop_peer.exe vtls.exe VantrelSh.dll VantrelUi.dll; do
    [ -f "$dir/$program" ] || fail "$dir/$program is missing (the x86_64 programs come from the win64 build)"
  done
done
peer32="$bin32/vtls_interop_peer.exe"
peer64="$bin64/vtls_interop_peer.exe"

# The first Wine process of a fresh wineserver starts services that would hold a pipe open.
"$run" cmd /c exit >/dev/null 2>&1 </dev/null || true

# Each program really runs at its width.
"$run" "$peer32" arch >"$logs/arch32.log" 2>&1 </dev/null || fail "the 32-bit peer does not run"
"$run" "$peer64" arch >"$logs/arch64.log" 2>&1 </dev/null || fail "the 64-bit peer does not run"
grep -q 'interop_peer 32-bit' "$logs/arch32.log" || fail "the i686 peer is not 32-bit"
grep -q 'interop_peer 64-bit' "$logs/arch64.log" || fail "the x86_64 peer is not 64-bit"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# The hex that follows <label> on the line that starts with <prefix> in a log.
field() { grep -a "^$2" "$1" | head -n1 | tr -d '\r' | sed -n "s/.* $3 \([0-9a-f-]*\).*/\1/p"; }

# pair <writer> <reader> <name>: item lists in a file, one width to the other.
ids_pair() {
  local writer="$1" reader="$2" name="$3" file="$logs/$3.records"
  "$run" "$writer" ids-write "$(windows_path "$file")" >"$logs/$name-write.log" 2>&1 </dev/null || fail "$name: ids-write"
  "$run" "$reader" ids-read "$(windows_path "$file")" >"$logs/$name-read.log" 2>&1 </dev/null || fail "$name: ids-read"
  grep -q 'records: 5 match' "$logs/$name-read.log" || fail "$name: the records read back"
}
ids_pair "$peer32" "$peer64" ids-32-to-64
ids_pair "$peer64" "$peer32" ids-64-to-32
cmp -s "$logs/ids-32-to-64.records" "$logs/ids-64-to-32.records" || fail "the two widths write different stream records"
echo "item lists in a stream: 32 -> 64 and 64 -> 32, records identical ($(stat -c %s "$logs/ids-32-to-64.records") bytes)"

# A registry stream saved by one width and opened by the other.
key='Software\VtlsInteropTest'
cleanup_key() { "$run" reg delete "HKCU\\$key" /f >/dev/null 2>&1 </dev/null || true; }
cleanup_key
reg_pair() {
  local saver="$1" opener="$2" name="$3"
  "$run" "$saver" regstream-save "$key" "$name" >"$logs/$name-save.log" 2>&1 </dev/null || fail "$name: save"
  "$run" "$opener" regstream-open "$key" "$name" >"$logs/$name-open.log" 2>&1 </dev/null || fail "$name: open"
  grep -q 'records: 5 match' "$logs/$name-open.log" || fail "$name: the records of the opened stream"
  [ "$(field "$logs/$name-save.log" VtlsRegSaveStream bytes)" = "$(field "$logs/$name-open.log" opened bytes)" ] ||
    fail "$name: the stream opened differs from the one saved"
}
reg_pair "$peer32" "$peer64" regstream-32-to-64
reg_pair "$peer64" "$peer32" regstream-64-to-32
cleanup_key
echo "registry stream: saved by 32 and opened by 64, and the reverse"

# Content requests: the server of one width answers the client of the other.
content_pair() {
  local server="$1" client="$2" name="$3" pid
  start "$name-serve" "$server" serve "$timeout_s"
  pid="$!"
  wait_ready "$name-serve" "$pid"
  "$run" "$client" request >"$logs/$name-request.log" 2>&1 </dev/null || fail "$name: request"
  wait "$pid" || fail "$name: the server"
  grep -q 'content of the root: .* bytes match' "$logs/$name-request.log" || fail "$name: the root's CIDA"
  grep -q 'content of the folder: .* bytes match' "$logs/$name-request.log" || fail "$name: the folder's CIDA"
  # What the server sent is what the client received, in order.
  diff <(grep -a '^answer [0-9a-f]' "$logs/$name-serve.log" | tr -d '\r' | cut -d' ' -f2) \
       <(grep -a '^content [0-9a-f]' "$logs/$name-request.log" | tr -d '\r' | cut -d' ' -f2) >/dev/null ||
    fail "$name: the CIDAs sent and received differ"
  grep -q '^request value 1202 parent [0-9a-f]' "$logs/$name-serve.log" || fail "$name: the folder asked for"
}
content_pair "$peer32" "$peer64" content-32-serves-64
content_pair "$peer64" "$peer32" content-64-serves-32
echo "content requests: a 32-bit server answers a 64-bit client, and the reverse (CIDAs byte for byte)"

# A change posted by one width reaches a listener of the other.
change_pair() {
  local listener="$1" poster="$2" name="$3" pid
  start "$name-listen" "$listener" listen "$timeout_s"
  pid="$!"
  wait_ready "$name-listen" "$pid"
  "$run" "$poster" post >"$logs/$name-post.log" 2>&1 </dev/null || fail "$name: post"
  wait "$pid" || fail "$name: the listener"
  grep -q 'change: event, both lists and 11 extra bytes match' "$logs/$name-listen.log" || fail "$name: the change"
  [ "$(field "$logs/$name-post.log" posted list1) $(field "$logs/$name-post.log" posted list2)" = \
    "$(field "$logs/$name-listen.log" change list1) $(field "$logs/$name-listen.log" change list2)" ] ||
    fail "$name: the lists posted and received differ"
}
change_pair "$peer32" "$peer64" change-64-to-32
change_pair "$peer64" "$peer32" change-32-to-64
echo "change notification: 64 -> 32 and 32 -> 64 (event, both lists, extra bytes)"

# vtls of both widths: the sample namespace served by one, browsed by the other.
# Wine 10 delivers no Ctrl+C to a 32-bit console program in WoW64 mode (a
# 64-bit one gets it): a 32-bit vtls serve ends at its time limit instead.
vtls_browse_pair() {
  local server="$1" client="$2" name="$3" pid
  start "$name-serve" "$server" serve --seconds 15
  pid="$!"
  wait_ready "$name-serve" "$pid"
  "$run" "$client" browse >"$logs/$name-browse.log" 2>&1 </dev/null || fail "$name: browse"
  kill -INT "$pid"
  wait "$pid" || fail "$name: serve exit status"
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
