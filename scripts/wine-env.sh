# Sourced by the other scripts: the headless Wine environment the tests run in.
# Each checkout gets a prefix of its own under build/, so runs never touch ~/.wine.
_vtls_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${VTLS_WINEPREFIX:-$_vtls_root/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINE64="${WINE64:-/usr/lib/wine/wine64}"
export WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver}"
# Wine's Western default: ANSI code page 1252 for the 8-bit message texts.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

# Ctrl+C (Wine turns SIGINT into it) for a background Wine program, a hard kill
# when it has not ended within 5 s, then its exit status collected.
vtls_stop_program() {
  local pid="$1" waited
  if kill -0 "$pid" 2>/dev/null; then
    kill -INT "$pid" 2>/dev/null || true
    for ((waited = 0; waited < 50; waited++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
}
