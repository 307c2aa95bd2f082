#!/usr/bin/env bash
# Installs a build into a scratch prefix and builds consumers against it, as a
# user of the package would: a CMake project with find_package (C and C++), and
# a program linked by lld-link against the MSVC-format import library. The
# programs run under the Wine named by VTLS_WINE_RUN (the build's emulator);
# without it, the x86_64 ones under wine64 and the i686 ones are only checked
# by their import tables.
# Usage: consumer_test.sh <build dir> <toolchain file> <i686|x86_64>
set -euo pipefail
build_dir="$1"
toolchain="$2"
arch="$3"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
run="${VTLS_WINE_RUN:-$here/../../scripts/wine-run.sh}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
for f in bin/VantrelSh.dll bin/VantrelUi.dll bin/vtls.exe include/VantrelSh.h lib/libVantrelSh.dll.a \
         lib/VantrelSh.lib lib/libVantrelUi.dll.a lib/VantrelUi.lib lib/cmake/VantrelSh/VantrelShConfig.cmake \
         lib/cmake/VantrelSh/VantrelShConfigVersion.cmake; do
  [ -f "$work/prefix/$f" ] || fail "the install lacks $f"
done

cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=BOTH >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configure"; }
cmake --build "$work/consumer" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
grep -q "Found VantrelSh\|VantrelSh_DIR" "$work/consumer/CMakeCache.txt" || fail "find_package left no trace"

# The MSVC-format import library, with lld-link; kernel32's few imports from a
# definition of their own, as no Windows SDK is on this machine.
if [ "$arch" = i686 ]; then
  target=i686-pc-windows-msvc; machine=i386; lld_machine=x86; extra=(-D_X86_=1); objdump=i686-w64-mingw32-objdump
  kernel32=$'LIBRARY kernel32.dll\nEXPORTS\nWriteFile@20\nGetStdHandle@4\nExitProcess@4\nlstrlenA@4\n'
  kill_at=(-k)
else
  target=x86_64-pc-windows-msvc; machine=i386:x86-64; lld_machine=x64; extra=(); objdump=x86_64-w64-mingw32-objdump
  kernel32=$'LIBRARY kernel32.dll\nEXPORTS\nWriteFile\nGetStdHandle\nExitProcess\nlstrlenA\n'
  kill_at=()
fi
printf '%s' "$kernel32" >"$work/kernel32.def"
llvm-dlltool -m "$machine" "${kill_at[@]}" -d "$work/kernel32.def" -l "$work/kernel32.lib"
# The MinGW headers stand in for the SDK's; in MSVC mode they need the GNU extensions on.
clang --target="$target" -fgnuc-version=4.2.1 "${extra[@]}" -DUNICODE -D_UNICODE -Wall -Werror \
  -isystem /usr/share/mingw-w64/include -I"$work/prefix/include" -c "$here/msvc_consumer.c" -o "$work/msvc.obj"
lld-link /nologo /machine:"$lld_machine" /subsystem:console /entry:ConsumerEntry /nodefaultlib \
  "$work/msvc.obj" "$work/prefix/lib/VantrelSh.lib" "$work/kernel32.lib" /out:"$work/consumer/msvc_consumer.exe"
imports="$("$objdump" -p "$work/consumer/msvc_consumer.exe" | sed -n '/DLL Name: VantrelSh.dll/,/^$/p')"
for name in SHGetVersion VtlsCreateWaitID VtlsComparePIDLs; do
  grep -qE "[[:space:]]$name\$" <<<"$imports" || fail "msvc_consumer does not import $name by its plain name: $imports"
done
# SHFree (ordinal 2), declared as VtlsSHFree, comes by its ordinal.
grep -qE "[[:space:]]0*2[[:space:]]+<none>\$" <<<"$imports" ||
  fail "msvc_consumer does not import ordinal 2: $imports"

if [ "$arch" = x86_64 ] || [ -n "${VTLS_WINE_RUN:-}" ]; then
  for program in consumer_c consumer_cxx msvc_consumer; do
    out="$("$run" "$work/consumer/$program.exe" </dev/null 2>&1)" || { echo "$out"; fail "$program failed"; }
    echo "$out"
  done
fi
echo "consumers ($arch): all checks passed"
