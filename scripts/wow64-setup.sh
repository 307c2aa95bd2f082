#!/usr/bin/env bash
# Installs, once per machine and only when missing, the Debian 13 root whose
# Wine 10 runs 32-bit Windows programs in WoW64 mode (no 32-bit Linux libraries).
# It is never installed into the system: wow64-run.sh mounts its /usr over the
# system's in a private mount namespace. Built in a temporary folder beside the
# target and renamed at the end, so an interrupted set-up is simply redone.
# Needs root (mmdebstrap in root mode, and later unshare -m).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wow64-env.sh"

root="$VTLS_WOW64_ROOT"
if [ -f "$root/.vtls-ready" ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "wow64-setup: needs root (mmdebstrap, unshare -m)" >&2
  exit 1
fi
if ! command -v mmdebstrap >/dev/null; then
  echo "wow64-setup: mmdebstrap is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi

# The mirror apt of this machine already uses.
mirror="${VTLS_WOW64_MIRROR:-}"
if [ -z "$mirror" ]; then
  mirror="$(find /etc/apt/sources.list /etc/apt/sources.list.d/ -maxdepth 1 \( -name '*.list' -o -name '*.sources' \) \
              -type f -exec grep -hoE '^(URIs:|deb) +https?://[^ ]+/debian/?( |$)' {} + 2>/dev/null |
            awk '{print $2; exit}' || true)"
  mirror="${mirror:-http://deb.debian.org/debian}"
fi

parent="$(dirname "$root")"
mkdir -p "$parent"
# One set-up at a time on this machine; whoever waited finds the root ready.
exec 8>"$parent/.$(basename "$root").lock"
flock -w 1800 8 || { echo "wow64-setup: another set-up holds $parent/.$(basename "$root").lock" >&2; exit 1; }
if [ -f "$root/.vtls-ready" ]; then
  exit 0
fi
# Leftovers of interrupted set-ups. mmdebstrap mounts /proc, /sys and /dev in
# the root it builds; a killed one may leave them mounted, so they are unmounted
# first, and the removal never leaves the file system it starts on.
remove_tree() {
  local mounted
  awk -v under="$1/" 'index($2, under) == 1 {print $2}' /proc/self/mounts | sort -r |
    while read -r mounted; do umount -l "$mounted" || true; done
  rm -rf --one-file-system "$1"
}
for leftover in "$parent/.$(basename "$root").tmp."*; do
  [ -e "$leftover" ] || continue
  echo "wow64-setup: removing an interrupted set-up, $leftover" >&2
  remove_tree "$leftover"
done
remove_tree "$root"
tmp="$(mktemp -d "$parent/.$(basename "$root").tmp.XXXXXX")"
chmod 755 "$tmp"
trap 'remove_tree "$tmp"' EXIT

started=$SECONDS
echo "wow64-setup: installing Debian 13 (trixie) with wine64 + libwine into $root from $mirror (a few minutes, about 1.5 GB, once per machine)" >&2
# Inside the new root, before mmdebstrap cleans its /tmp: libwine:i386 of the
# very version installed, unpacked there, and its PE DLLs copied beside the
# 64-bit ones, where the WoW64 Wine looks for them.
hook="$tmp.hook"
cat >"$hook" <<'HOOK'
#!/bin/sh
set -e
chroot "$1" sh -ec '
  cd /tmp
  v=$(dpkg-query -W -f="\${Version}" libwine:amd64)
  echo "wow64-setup: libwine $v (amd64), adding the PE DLLs of libwine:i386 $v" >&2
  apt-get download -q=2 "libwine:i386=$v"
  dpkg-deb -x libwine_*_i386.deb /tmp/libwine-i386
  src=/tmp/libwine-i386/usr/lib/i386-linux-gnu/wine/i386-windows
  [ -d "$src" ] || { echo "wow64-setup: libwine:i386 has no $src" >&2; exit 1; }
  mkdir -p /usr/lib/x86_64-linux-gnu/wine/i386-windows
  cp -a "$src/." /usr/lib/x86_64-linux-gnu/wine/i386-windows/
  rm -rf /tmp/libwine-i386 libwine_*_i386.deb'
HOOK
chmod +x "$hook"
trap 'remove_tree "$tmp"; rm -f "$hook"' EXIT
# The i386 package lists are only used to download libwine:i386; nothing i386 is installed.
mmdebstrap --quiet --mode=root --variant=apt --architectures=amd64,i386 \
  --aptopt='APT::Install-Recommends "false"' \
  --include=wine64,libwine \
  --customize-hook="$hook" \
  trixie "$tmp" "$mirror"
rm -f "$hook"

dest="$tmp/usr/lib/x86_64-linux-gnu/wine/i386-windows"
[ -f "$dest/kernel32.dll" ] || { echo "wow64-setup: no 32-bit kernel32.dll after the copy" >&2; exit 1; }
[ -f "$tmp/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/wow64.dll" ] \
  || { echo "wow64-setup: the root's Wine has no wow64.dll" >&2; exit 1; }
ls "$tmp/usr/lib/wine/" >&2
[ -x "$tmp$WINE64" ] || { echo "wow64-setup: the root has no $WINE64" >&2; exit 1; }
# Nothing of this root runs as a system: no apt caches kept.
rm -rf "$tmp/var/cache/apt/archives/"*.deb "$tmp/var/lib/apt/lists/"*

touch "$tmp/.vtls-ready"
mv -T "$tmp" "$root"
trap - EXIT
echo "wow64-setup: ready in $((SECONDS - started)) s, $(du -sh "$root" | cut -f1) in $root" >&2
