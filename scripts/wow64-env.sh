# Sourced by the WoW64 scripts: where the Wine 10 root lives and the headless
# environment its programs run in. The root is machine-wide (every checkout of
# this machine shares it); the prefix belongs to the checkout and is kept apart
# from build/wineprefix, which is the system Wine 8's.
_vtls_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export VTLS_WOW64_ROOT="${VTLS_WOW64_ROOT:-/var/cache/vantrelsh/wow64-root}"
export WINEPREFIX="${VTLS_WOW64_PREFIX:-$_vtls_root/build/wineprefix-wow64}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Paths inside the namespace, where the root's /usr covers the system's.
export WINE64=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
# This Wine aborts (free(): invalid pointer) while creating a prefix when TMPDIR is set.
unset TMPDIR
# Upper bound of any one command run through wow64-run.sh, in seconds.
export VTLS_WOW64_TIMEOUT="${VTLS_WOW64_TIMEOUT:-600}"
