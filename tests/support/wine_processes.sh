# Sourced by the tests that run several Wine programs side by side: their
# logs, starting one in the background, waiting for its "ready" line, and
# ending every one of them on the way out, also after a failure. Programs are
# stopped with Ctrl+C (SIGINT); Wine 10 in WoW64 mode delivers none to a 32-bit
# console program, so there they end at their own time limit ($timeout_s).
# The program that runs this build's Windows programs (the tests pass their build's emulator).
run="${VTLS_WINE_RUN:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-run.sh}"
timeout_s=30
logs="$(mktemp -d)"
background=()

cleanup() {
  local pid
  for pid in "${background[@]}"; do
    kill -INT "$pid" 2>/dev/null || true
  done
  for pid in "${background[@]}"; do
    wait "$pid" 2>/dev/null || true
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
}

wait_ready() {
  local name="$1" pid="$2" deadline=$((SECONDS + timeout_s))
  until grep -q $'ready\r*$' "$logs/$name.log"; do
    kill -0 "$pid" 2>/dev/null || fail "$name ended before it was ready"
    ((SECONDS < deadline)) || fail "$name not ready within ${timeout_s} s"
    sleep 0.1
  done
}
