# Sourced by the scripts that show a window (the browse dialog's test, demo.sh
# --gui): a virtual X display of its own (Xvfb, the first free display number)
# and a Wine prefix of its own whose graphics driver is X11, kept apart from
# the headless prefix of the other tests. Everything started here is ended on
# the way out, also after a failure or when the time limit runs out.
#   vtls_gui_start PREFIX LIMIT   display, prefix, persistent wineserver; the
#                                 script ends itself LIMIT seconds from now
#   gui_run PROGRAM ARGS          a Windows program with a time limit
#   gui_start NAME PROGRAM ARGS   the same in the background, output in $gui_logs/NAME.log
#   gui_stop PID                  Ctrl+C for a program of gui_start, then a kill
#   vtls_gui_screenshot PNG [GEOMETRY]  the display (or WxH+X+Y of it) as PNG
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
gui_logs="$(mktemp -d)"
gui_background=()
gui_xvfb_pid=""
gui_watchdog_pid=""
gui_prefix=""
# Each Wine program's own limit, below the script's.
gui_program_timeout=90

vtls_gui_stop() {
  set +e
  local pid
  [ -n "$gui_watchdog_pid" ] && kill "$gui_watchdog_pid" 2>/dev/null
  for pid in "${gui_background[@]}"; do gui_stop "$pid"; done
  # Only this prefix's wineserver, and with it every Wine process of the prefix.
  [ -n "$gui_prefix" ] && WINEPREFIX="$gui_prefix" timeout 20 "$WINESERVER" -k >/dev/null 2>&1
  if [ -n "$gui_xvfb_pid" ]; then
    kill "$gui_xvfb_pid" 2>/dev/null
    wait "$gui_xvfb_pid" 2>/dev/null
  fi
  rm -rf "$gui_logs"
  return 0
}
trap vtls_gui_stop EXIT
trap 'echo "wine-gui: stopped by a signal or the time limit" >&2; exit 124' TERM INT

gui_run() {
  timeout -k 5 "$gui_program_timeout" "$WINE64" "$@"
}

gui_start() {
  local name="$1"
  shift
  timeout -k 5 "$gui_program_timeout" "$WINE64" "$@" >"$gui_logs/$name.log" 2>&1 </dev/null &
  gui_background+=("$!")
}

gui_stop() { vtls_stop_program "$1"; }

vtls_gui_start() {
  local prefix limit="$2" waited
  prefix="$(mkdir -p "$1" && cd "$1" && pwd)"
  for tool in Xvfb xwd convert; do
    command -v "$tool" >/dev/null || { echo "wine-gui: $tool is missing; run scripts/setup.sh" >&2; return 1; }
  done
  (
    sleep "$limit" &
    trap 'kill $!; exit 0' TERM
    wait $! && kill -TERM $$
  ) >/dev/null 2>&1 </dev/null &
  gui_watchdog_pid="$!"
  # Xvfb takes the first free display number and writes it to descriptor 3.
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$gui_logs/display" >"$gui_logs/xvfb.log" 2>&1 &
  gui_xvfb_pid="$!"
  for ((waited = 0; waited < 100; waited++)); do
    grep -q '^[0-9]' "$gui_logs/display" 2>/dev/null && break
    kill -0 "$gui_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q '^[0-9]' "$gui_logs/display" 2>/dev/null || { echo "wine-gui: Xvfb did not start:" >&2; cat "$gui_logs/xvfb.log" >&2; return 1; }
  export DISPLAY=":$(head -n 1 "$gui_logs/display")"
  export WINEPREFIX="$prefix"
  gui_prefix="$prefix"
  if [ ! -f "$WINEPREFIX/.vtls-gui-ready" ]; then
    mkdir -p "$WINEPREFIX"
    echo "wine-gui: creating $WINEPREFIX (about a minute)" >&2
    timeout -k 5 300 "$WINE64" wineboot --init >/dev/null 2>&1 || true
    timeout -k 5 120 "$WINESERVER" -w
    timeout -k 5 60 "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1 &&
      # No window manager runs on the display: Wine draws the title bars itself.
      timeout -k 5 60 "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 &&
      timeout -k 5 60 "$WINESERVER" -w || { echo "wine-gui: cannot set up $WINEPREFIX" >&2; return 1; }
    touch "$WINEPREFIX/.vtls-gui-ready"
  fi
  "$WINESERVER" -p
  # Services of the first process inherit its output: start them with it discarded.
  gui_run cmd /c exit >/dev/null 2>&1 </dev/null || true
}

vtls_gui_screenshot() {
  local png="$1" geometry="${2:-}"
  mkdir -p "$(dirname "$png")"
  # Wine hands a window's drawing to the X server once its thread waits for
  # messages again: give the dialog that moment after the last message it got.
  sleep 0.5
  timeout 30 xwd -display "$DISPLAY" -root -silent >"$gui_logs/screen.xwd" || return 1
  if [ -n "$geometry" ]; then
    convert "xwd:$gui_logs/screen.xwd" -crop "$geometry" +repage "$png"
  else
    convert "xwd:$gui_logs/screen.xwd" "$png"
  fi
}
