#!/usr/bin/env bash
# Installs, only when missing, the toolchains and Wine the build and tests need.
# Debian amd64 only: no i386 architecture, no wine32 (32-bit processes cannot run here).
set -euo pipefail

packages=(
  cmake ninja-build clang-14 libclang-rt-14-dev googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64
  wine64
  llvm lld gnuplot-nox
  doxygen python3 ccache
  mmdebstrap
  xvfb x11-apps imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
