#!/usr/bin/env bash
# examples/browse_dialog as a real window: vtls serve and the dialog under
# Wine's X11 driver on a virtual display, driven through its window messages
# by browse_dialog_driver, which reads the tree and list back from the controls.
# Saves the dialog as PNG before and after a rename into <screenshot folder>.
# Usage: browse_dialog_test.sh <folder of the programs> <prefix folder> <screenshot folder> <pointer bits>
set -euo pipefail
bin="$1" prefix="$2" shots="$3"
if [ "$4" != 64 ]; then
  # The i686 programs run under the WoW64 Wine 10 in a private mount
  # namespace (scripts/wow64-run.sh); this test drives the system Wine 8 only.
  echo "skipped: the browse dialog's window test runs on x86_64 (Wine 8) only"
  exit 77
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/samples/sample_names.sh"
source "$root/scripts/wine-gui.sh"
logs="$gui_logs"

fail() {
  echo "FAIL: $*" >&2
  local log
  for log in "$logs"/*.log; do
    [ -e "$log" ] && { echo "--- $(basename "$log")"; tr -d '\r' <"$log"; } >&2
  done
  exit 1
}
driver() {
  local name="$1"
  shift
  gui_run "$bin/browse_dialog_driver.exe" "$@" >"$logs/$name.log" 2>&1 </dev/null || fail "driver $*"
  sed -i 's/\r$//' "$logs/$name.log"
}
has() { grep -qxF -- "$2" "$logs/$1.log" || fail "$1: no line '$2'"; }
serve() {
  gui_start "serve$1" "$bin/vtls.exe" serve --seconds 80
  serve_pid="$!"
  local deadline=$((SECONDS + 30))
  until grep -q $'ready\r*$' "$logs/serve$1.log"; do
    kill -0 "$serve_pid" 2>/dev/null && ((SECONDS < deadline)) || fail "vtls serve not ready"
    sleep 0.1
  done
}

# CTest gives up at 300 s: the run ends itself at 170 s (after the command under way, at most 90 s), each Wine program at 90 s.
vtls_gui_start "$prefix" 170 || fail "the display or the prefix"
host="$(sample_name HostScada)" server="$(sample_name ServerSimulation)" ramps="$(sample_name BranchRamps)"
old="$(sample_name ItemRampsInt)" new="$(sample_name RenamedItem)"
serve 1
# One server's class gets an icon of its own, which the dialog takes from the
# library; the class id is the one vtls browse shows.
gui_run "$bin/vtls.exe" browse >"$logs/browse.log" 2>&1 </dev/null || fail "vtls browse"
class="$(tr -d '\r' <"$logs/browse.log" | sed -n "s/^ *$server  \[server \({[0-9A-F-]*}\)\]$/\1/p" | head -n 1)"
[ -n "$class" ] || fail "no class id of $server in vtls browse"
dialog_exe="$(cd "$bin" && pwd)/browse_dialog.exe"
gui_run reg add "HKLM\\Software\\Classes\\CLSID\\$class\\DefaultIcon" /ve /d "Z:${dialog_exe//\//\\},2" /f \
  >"$logs/reg.log" 2>&1 </dev/null || fail "register the class icon"
gui_start dialog "$bin/browse_dialog.exe"
driver find find
read -r l t r b < <(sed -n 's/^process [0-9]* rect //p' "$logs/find.log")
geometry="$((r - l))x$((b - t))+$l+$t"

# Expanded from the root down to a branch, which is selected: every level
# came from the server, and the list shows the branch's items with their types.
# Images: the dialog's own by kind (0 network, 1 host, 2 server, 3 branch), the
# registered class's icon added after the dialog's six.
driver open open "OPC Network" "$host" "$server" "$ramps"
driver opened dump
has opened "tree OPC Network  #0"
has opened "tree   $host  #1"
has opened "tree     $server  #6"
has opened "tree     $(sample_name ServerGateway)  #2"
has opened "tree       $ramps  #3  [selected]"
has opened "tree       $(sample_name BranchWaves)  #3"
has opened "tree   $(sample_name HostLab)  #1"
has opened "row $old | Item | VT_I4"
has opened "row $(sample_name ItemRampsText) | Item | VT_BSTR"
has opened "status OPC Network\\$host\\$server\\$ramps: 0 folders, 4 items"
[ "$(grep -c '^row ' "$logs/opened.log")" = 4 ] || fail "opened: not 4 rows"
vtls_gui_screenshot "$shots/browse_dialog-before.png" "$geometry" || fail "screenshot before"

# A rename posted by another process renames the row in place.
gui_run "$bin/vtls.exe" notify renameitem --path "$host/$server/$ramps/$old" --path2 "$host/$server/$ramps/$new" \
  >"$logs/rename.log" 2>&1 </dev/null || fail "notify renameitem"
driver renamed wait "$new"
has renamed "row $new | Item | VT_I4"
grep -qF "row $old |" "$logs/renamed.log" && fail "renamed: the old name is still listed"
has renamed "status Renamed $old to $new"
vtls_gui_screenshot "$shots/browse_dialog-after.png" "$geometry" || fail "screenshot after"
# Both pictures are of the whole window, and the rename shows in them.
for png in before after; do
  [ "$(identify -format %wx%h "$shots/browse_dialog-$png.png")" = "${geometry%%+*}" ] || fail "picture $png: its size"
done
changed="$(compare -metric AE "$shots/browse_dialog-before.png" "$shots/browse_dialog-after.png" null: 2>&1 || true)"
[ "${changed%% *}" -gt 0 ] 2>/dev/null || fail "the pictures before and after the rename do not differ ($changed)"

# An update of the branch has it asked again: the server's names come back.
gui_run "$bin/vtls.exe" notify updatedir --path "$host/$server/$ramps" >"$logs/update.log" 2>&1 </dev/null ||
  fail "notify updatedir"
driver updated wait "$old"
[ "$(grep -cF "$host\\$server\\$ramps  value 0" "$logs/serve1.log")" -ge 2 ] || fail "serve: the branch was not asked again"

# Backspace in the list goes up to the server, whose branches it then lists.
driver key key 8
driver up wait "$(sample_name BranchWaves)"
has up "row $ramps | Branch | "
has up "tree     $server  #6  [selected]"

# The server goes away: the folder, asked again, shows an error row alone;
# the server comes back: the retries bring its rows back.
gui_stop "$serve_pid"
gui_run "$bin/vtls.exe" notify updatedir --path "$host/$server" >"$logs/update2.log" 2>&1 </dev/null ||
  fail "notify updatedir without a server"
driver gone wait "The server does not answer"
has gone "row The server does not answer | Error | 0x80004005"
[ "$(grep -c '^row ' "$logs/gone.log")" = 1 ] || fail "gone: rows beside the error row"
serve 2
driver back wait "$ramps"
grep -qF "row The server does not answer" "$logs/back.log" && fail "back: the error row stayed"

# Closing gives the listener back (the dialog's exit code says so) and ends the process.
driver closed close
has closed "exit code 0"
echo "browse dialog: all checks passed; screenshots $shots/browse_dialog-before.png, $shots/browse_dialog-after.png"
