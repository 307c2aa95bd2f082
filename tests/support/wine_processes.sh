# Sourced by the tests that run several Wine programs side by side: their
# logs, starting one in the background, waiting for its "ready" line, and
# ending every one of them on the way out, also after a failure. Wine 10 in
# WoW64 mode delivers no Ctrl+C to a 32-bit console program, so a server is
# stopped through a named event it waits on (stop_event, stop); SIGINT is only
# the fallback on the way out.
# The program that runs this build's Windows programs (the tests pass their build's emulator).
run="${VTLS_WINE_RUN:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-run.sh}"
timeout_s=30
logs="$(mktemp -d)"
background=()
names=()
# The probe of this build sets the events (the test's environment names it).
probe="${VTLS_PROBE:-}"

# stop_event <name>: the event name to start the server <name> with.
stop_event() { echo "vtls-stop-$$-$1"; }

# stop <name> <pid>: asks the server <name> to stop and waits for its end.
stop() {
  "$run" "$probe" set-event "$(stop_event "$1")" >"$logs/stop-$1.log" 2>&1 </dev/null || fail "stop request for $1"
  wait "$2" || fail "$1 exit status"
}

cleanup() {
  local i
  for i in "${!background[@]}"; do
    kill -0 "${background[i]}" 2>/dev/null || continue
    "$run" "$probe" set-event "$(stop_event "${names[i]}")" >/dev/null 2>&1 </dev/null || true
    kill -INT "${background[i]}" 2>/dev/null || true
  done
  for i in "${!background[@]}"; do
    wait "${background[i]}" 2>/dev/null || true
  done
  rm -rf "$logs"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  local log
  for log in "$logs"/*.log; do
    [ -e "$log" ] && { echo "--- $(basename "$log")"; cat "$log"; } >&2
  done
  exit 1
}

# start <name> <program> [arguments]: output to $logs/<name>.log; $! is its pid.
start() {
  local name="$1"
  shift
  "$run" "$@" >"$logs/$name.log" 2>&1 </dev/null &
  background+=("$!")
  names+=("$name")
}

wait_ready() {
  local name="$1" pid="$2" deadline=$((SECONDS + timeout_s))
  until grep -q $'ready\r*$' "$logs/$name.log"; do
    kill -0 "$pid" 2>/dev/null || fail "$name ended before it was ready"
    ((SECONDS < deadline)) || fail "$name not ready within ${timeout_s} s"
    sleep 0.1
  done
}
