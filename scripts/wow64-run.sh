#!/usr/bin/env bash
# Runs a Windows program, 32- or 64-bit, under the Wine 10 of the WoW64 root
# (scripts/wow64-setup.sh), in the checkout's own prefix build/wineprefix-wow64.
# CTest uses it as the cross-compiling emulator of the win32 build.
#
#   wow64-run.sh PROGRAM [ARGUMENTS]     wine64 PROGRAM ARGUMENTS
#   wow64-run.sh --host COMMAND [ARGS]   a Linux command beside that Wine (wineserver, say)
#   wow64-run.sh --stop                  ends this prefix's wineserver and its programs
#
# Each call enters a private mount namespace (unshare -m, needs root) in which
# the root's /usr and /etc/ld.so.cache cover the system's: host paths stay
# valid, and nothing shows outside. Every program gets a time limit
# (VTLS_WOW64_TIMEOUT seconds); when one is exceeded, the prefix's wineserver is
# stopped too, since a server that stopped answering holds every other program
# of the prefix as well.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/wow64-env.sh"

inside() {
  [ "$(stat -L -c %d:%i /usr)" = "$(stat -L -c %d:%i "$VTLS_WOW64_ROOT/usr" 2>/dev/null)" ]
}

if ! inside; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "wow64-run: needs root (a private mount namespace with unshare -m)" >&2
    exit 1
  fi
  if [ ! -f "$VTLS_WOW64_ROOT/.vtls-ready" ]; then
    "$here/wow64-setup.sh"
  fi
  exec unshare --mount --propagation private -- /bin/bash -c '
    set -e
    mount --bind "$VTLS_WOW64_ROOT/etc/ld.so.cache" /etc/ld.so.cache
    mount --bind "$VTLS_WOW64_ROOT/usr" /usr
    exec /bin/bash "$0" "$@"' "$here/wow64-run.sh" "$@"
fi

# The name of the folder where this prefix's wineserver keeps its socket and its
# working directory (the folder above it varies: /tmp/.wine-UID, /tmp/wine-XXXXXX).
server_dir_name() {
  local id
  id="$(stat -L -c '%d %i' "$WINEPREFIX" 2>/dev/null)" || return 1
  # shellcheck disable=SC2086
  printf 'server-%x-%x' $id
}

stop_server() {
  [ -d "$WINEPREFIX" ] || return 0
  if timeout 20 "$WINESERVER" -k >/dev/null 2>&1; then
    return 0
  fi
  # A server that does not answer: ended by its process id, found through its
  # working directory, so no other prefix's server is touched.
  local name pid
  name="$(server_dir_name)" || return 0
  for pid in /proc/[0-9]*; do
    pid="${pid#/proc/}"
    if [[ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" == /tmp/*/"$name" ]] &&
       [[ "$(readlink "/proc/$pid/exe" 2>/dev/null)" == */wineserver* ]]; then
      echo "wow64-run: wineserver $pid of $WINEPREFIX does not answer; killing it" >&2
      kill -KILL "$pid" 2>/dev/null || true
    fi
  done
}

ensure_prefix() {
  [ -f "$WINEPREFIX/.vtls-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock -w 600 9
  if [ ! -f "$WINEPREFIX/.vtls-ready" ]; then
    echo "wow64-run: creating $WINEPREFIX (Wine $("$WINE64" --version 2>/dev/null), about 15 s)" >&2
    mkdir -p "$WINEPREFIX"
    timeout 300 "$WINE64" wineboot --init >/dev/null 2>&1 </dev/null || true
    timeout 120 "$WINESERVER" -w || stop_server
    # Hidden windows only: the null driver needs no X server.
    timeout 120 "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
    timeout 120 "$WINESERVER" -w || stop_server
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wow64-run: the prefix was not created" >&2; exit 1; }
    touch "$WINEPREFIX/.vtls-ready"
  fi
  flock -u 9
  exec 9>&-
}

case "${1:-}" in
--stop)
  stop_server
  exit 0
  ;;
--host)
  shift
  ensure_prefix
  exec "$@"
  ;;
"")
  echo "usage: wow64-run.sh PROGRAM [ARGUMENTS] | --host COMMAND [ARGUMENTS] | --stop" >&2
  exit 2
  ;;
esac

ensure_prefix
# Signals to this script (Ctrl+C for a console program, say) go on to the program.
timeout --kill-after=10 "$VTLS_WOW64_TIMEOUT" "$WINE64" "$@" <&0 &
child=$!
trap 'kill -INT $child 2>/dev/null || true' INT
trap 'kill -TERM $child 2>/dev/null || true' TERM
while :; do
  rc=0
  wait "$child" || rc=$?
  kill -0 "$child" 2>/dev/null || break
done
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
  echo "wow64-run: $1 exceeded ${VTLS_WOW64_TIMEOUT} s; stopping the wineserver of $WINEPREFIX" >&2
  stop_server
fi
exit "$rc"
