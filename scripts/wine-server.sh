# Sourced by scripts that run many Wine programs: keeps one wineserver alive for
# the whole run and stops it (on this prefix only) when the script exits, even on failure.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
"$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"

vtls_stop_wineserver() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
}
trap vtls_stop_wineserver EXIT
"$WINESERVER" -p
# The first Wine process spawns services that inherit its standard output; start
# them now with output discarded so later pipes of Wine programs can close.
"$WINE64" cmd /c exit >/dev/null 2>&1 </dev/null || true
