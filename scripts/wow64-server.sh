# Sourced by scripts that run many programs under the WoW64 Wine: creates the
# prefix if needed, keeps one wineserver alive for the whole run, and stops it
# (this prefix's only, by force if it does not answer) when the script exits,
# also after a failure or a timeout.
_vtls_wow64_run="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wow64-run.sh"
vtls_stop_wow64_server() {
  "$_vtls_wow64_run" --stop || true
}
trap vtls_stop_wow64_server EXIT
# A server left over by an earlier run that was killed.
"$_vtls_wow64_run" --stop
timeout 60 "$_vtls_wow64_run" --host /bin/sh -c '"$WINESERVER" -p'
# The first Wine process spawns services that inherit its standard output; start
# them now with output discarded so later pipes of Wine programs can close.
VTLS_WOW64_TIMEOUT=120 "$_vtls_wow64_run" cmd /c exit >/dev/null 2>&1 </dev/null || true
