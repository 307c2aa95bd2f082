#!/usr/bin/env bash
# The example programs of examples/, run under wine64 as a reader would run them.
#   content: content_server and content_client as two processes; the client
#            prints the names the server was started with, and the server's
#            refusal of a deeper folder reaches the client as E_FAIL.
#   change:  change_listener alone (listener and deferred post in one process),
#            then as a listener that a second process's post reaches.
#   installed: the build installed into a scratch prefix, the examples' sources
#            built from there against the package, then both sets above.
# Usage: examples_test.sh <content|change> <folder of the programs>
#        examples_test.sh installed <build folder> <toolchain file>
set -euo pipefail
what="$1"
bin="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../support/wine_processes.sh"

# Every program's output goes to a file: the first Wine process of a fresh
# wineserver starts services that would hold a pipe open.
"$run" cmd /c exit >/dev/null 2>&1 </dev/null || true

# Names that only this run uses, so what the client prints can only come from the server.
tag="$$-$RANDOM"

case "$what" in
content)
  if "$run" "$bin/content_client.exe" >"$logs/noserver.log" 2>&1 </dev/null; then
    fail "content_client succeeded without a server"
  fi
  grep -q 'no answer (0x80004005)' "$logs/noserver.log" || fail "content_client without a server"

  start server "$bin/content_server.exe" --seconds "$timeout_s" --stop-event "$(stop_event server)" "HOST-A-$tag" "HOST-B-$tag"
  server_pid="$!"
  wait_ready server "$server_pid"
  "$run" "$bin/content_client.exe" 4711 >"$logs/client.log" 2>&1 </dev/null || fail "content_client"
  grep -q 'the root holds 2 item(s):' "$logs/client.log" || fail "client: number of items"
  grep -qx $'  HOST-A-'"$tag"$'\r*' "$logs/client.log" || fail "client: first host"
  grep -qx $'  HOST-B-'"$tag"$'\r*' "$logs/client.log" || fail "client: second host"
  grep -q "content of HOST-A-$tag: 0x80004005 (refused, or no answer)" "$logs/client.log" ||
    fail "client: the refused folder"
  grep -q 'request (value 4711) for the root: answered 2 hosts' "$logs/server.log" || fail "server: the request"
  grep -q 'request (value 4711) for a folder below the root: refused' "$logs/server.log" ||
    fail "server: the refusal"
  stop server "$server_pid"
  grep -q 'stopped; answered 1 request(s)' "$logs/server.log" || fail "server: totals"
  ;;
change)
  "$run" "$bin/change_listener.exe" >"$logs/alone.log" 2>&1 </dev/null || fail "change_listener alone"
  grep -q 'received WM_VTLS_FSNOTIFY: event 0x00001000, list 1 Folder-1, 0 extra bytes' "$logs/alone.log" ||
    fail "change_listener alone: the delivery"

  start listener "$bin/change_listener.exe" listen
  listener_pid="$!"
  wait_ready listener "$listener_pid"
  "$run" "$bin/change_listener.exe" post "FOLDER-$tag" >"$logs/post.log" 2>&1 </dev/null || fail "post"
  wait "$listener_pid" || fail "the listener received nothing"
  grep -q "received WM_VTLS_FSNOTIFY: event 0x00001000, list 1 FOLDER-$tag, 0 extra bytes" "$logs/listener.log" ||
    fail "listener: the delivery"
  ;;
installed)
  cmake --install "$bin" --prefix "$logs/prefix" >"$logs/install.log" 2>&1 || fail "install"
  sources="$logs/prefix/share/doc/VantrelSh/examples"
  for f in CMakeLists.txt content_server.cpp content_client.cpp change_listener.cpp browse_dialog.cpp; do
    [ -f "$sources/$f" ] || fail "the install lacks examples/$f"
  done
  cmake -S "$sources" -B "$logs/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$3" \
    -DCMAKE_PREFIX_PATH="$logs/prefix" -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=BOTH >"$logs/configure.log" 2>&1 ||
    fail "configure the installed examples"
  cmake --build "$logs/build" >"$logs/build.log" 2>&1 || fail "build the installed examples"
  bash "${BASH_SOURCE[0]}" content "$logs/build" || fail "the installed content examples"
  bash "${BASH_SOURCE[0]}" change "$logs/build" || fail "the installed change example"
  ;;
*)
  fail "unknown example set '$what'"
  ;;
esac
echo "examples ($what): all checks passed"
