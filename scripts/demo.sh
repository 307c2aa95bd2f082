#!/usr/bin/env bash
# The main job: builds the 64-bit DLLs and the vtls tool, then shows two
# processes talking through the library under wine64: `vtls serve` answers the
# content requests of `vtls browse`, and a change posted by `vtls notify`
# reaches the listener of `vtls watch`.
# Extra arguments run that one vtls command instead: scripts/demo.sh info,
# scripts/demo.sh --help. scripts/demo.sh --gui runs examples/browse_dialog
# against vtls serve on a virtual display, opens a branch and saves the
# dialog's picture, whose path it prints.
# VTLS_BUILD_DIR replaces build/win64 (the win64 preset's folder), VTLS_WINEPREFIX
# the prefix, so a run can stay clear of others' builds.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_dir="${VTLS_BUILD_DIR:-build/win64}"
# How long a background command may take to print its "ready" line or to end.
timeout_s="${VTLS_DEMO_TIMEOUT:-30}"

scripts/setup.sh
cmake --preset win64 -B "$build_dir" >/dev/null
if ! build_log="$(cmake --build "$build_dir" --target vtls VantrelSh VantrelUi 2>&1)"; then
  printf '%s\n' "$build_log" >&2
  exit 1
fi
vtls_exe="$build_dir/bin/vtls.exe"

if [ "${1:-}" = --gui ]; then
  if ! build_log="$(cmake --build "$build_dir" --target browse_dialog browse_dialog_driver 2>&1)"; then
    printf '%s\n' "$build_log" >&2
    exit 1
  fi
  source scripts/wine-gui.sh
  source samples/sample_names.sh
  vtls_gui_start "$build_dir/wineprefix-gui" 240
  gui_start serve "$vtls_exe" serve --seconds 80
  deadline=$((SECONDS + timeout_s))
  until grep -q $'ready\r*$' "$gui_logs/serve.log"; do
    ((SECONDS < deadline)) || { echo "demo: vtls serve not ready:" >&2; cat "$gui_logs/serve.log" >&2; exit 1; }
    sleep 0.1
  done
  gui_start dialog "$build_dir/bin/browse_dialog.exe"
  driver="$build_dir/bin/browse_dialog_driver.exe"
  read -r l t r b < <(gui_run "$driver" find </dev/null | tr -d '\r' | sed -n 's/^process [0-9]* rect //p')
  gui_run "$driver" open "OPC Network" "$(sample_name HostScada)" "$(sample_name ServerSimulation)" \
    "$(sample_name BranchRamps)" >/dev/null </dev/null
  picture="$(pwd)/$build_dir/screenshots/demo-browse_dialog.png"
  [[ "$build_dir" = /* ]] && picture="$build_dir/screenshots/demo-browse_dialog.png"
  vtls_gui_screenshot "$picture" "$((r - l))x$((b - t))+$l+$t"
  gui_run "$driver" close >/dev/null </dev/null
  echo "demo: the browse dialog against vtls serve, one branch open: $picture"
  exit 0
fi

source scripts/wine-server.sh

if [ "$#" -gt 0 ]; then
  scripts/wine-run.sh "$vtls_exe" "$@"
  exit
fi

logs="$(mktemp -d)"
background=()

# Ctrl+C for each command still running (Wine turns SIGINT into it), a hard
# kill for any that ignores it, then the wineserver of wine-server.sh.
demo_cleanup() {
  local pid
  for pid in "${background[@]}"; do vtls_stop_program "$pid"; done
  vtls_stop_wineserver
  rm -rf "$logs"
}
trap demo_cleanup EXIT

# Starts a vtls command in the background with its output in logs/<name>.log.
start() {
  local name="$1"
  shift
  scripts/wine-run.sh "$vtls_exe" "$@" >"$logs/$name.log" 2>&1 </dev/null &
  background+=("$!")
}

# Waits until the command's log has a line ending in "ready"; fails when the
# command ends first or the time runs out.
wait_ready() {
  local name="$1" pid="$2" deadline=$((SECONDS + timeout_s))
  # Windows programs end their lines with CR LF.
  until grep -q $'ready\r*$' "$logs/$name.log"; do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "demo: vtls $name ended before it was ready:" >&2
      cat "$logs/$name.log" >&2
      return 1
    fi
    if ((SECONDS >= deadline)); then
      echo "demo: vtls $name not ready within ${timeout_s} s" >&2
      return 1
    fi
    sleep 0.1
  done
}

step() { printf '\n== %s\n' "$*"; }

step "vtls serve: the server role, answering from the sample OPC namespace (background)"
start serve serve
serve_pid="$!"
wait_ready serve "$serve_pid"
cat "$logs/serve.log"

step "vtls browse: the client role, walking the namespace with content requests"
scripts/wine-run.sh "$vtls_exe" browse

step "vtls watch --count 1: a listener window in another client process (background)"
start watch watch --count 1 --seconds "$timeout_s"
watch_pid="$!"
wait_ready watch "$watch_pid"
cat "$logs/watch.log"

source samples/sample_names.sh
folder="$(sample_name HostScada)/$(sample_name ServerSimulation)"
step "vtls notify updatedir --path $folder"
scripts/wine-run.sh "$vtls_exe" notify updatedir --path "$folder"

step "vtls watch: what the listener received"
# The watcher ends by itself after one change, or after the time limit.
watch_status=0
wait "$watch_pid" || watch_status=$?
cat "$logs/watch.log"
if [ "$watch_status" -ne 0 ] || ! grep -q 'WM_VTLS_FSNOTIFY .*SHCNE_UPDATEDIR' "$logs/watch.log"; then
  echo "demo: the watcher did not receive the change (exit status $watch_status)" >&2
  exit 1
fi

step "vtls serve: stopped with Ctrl+C; its log of the requests"
kill -INT "$serve_pid"
wait "$serve_pid"
requests="$(grep -c ' value ' "$logs/serve.log" || true)"
head -n 5 "$logs/serve.log"
if ((requests > 3)); then
  echo "   ... $((requests - 3)) more requests ..."
  tail -n 2 "$logs/serve.log"
fi
