#!/usr/bin/env bash
# CPack's zip of one architecture holds the stripped DLLs, both import
# libraries, the header, the CMake package, vtls.exe and the docs.
# Usage: zip_test.sh <build dir> <win32|win64>
set -euo pipefail
build_dir="$1"
arch="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$build_dir" && cpack -G ZIP -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
zip=("$work"/VantrelSh-*-"$arch".zip)
[ -f "${zip[0]}" ] || { echo "FAIL: no zip for $arch in $work" >&2; ls "$work" >&2; exit 1; }
listing="$(cd "$work" && cmake -E tar tf "${zip[0]}")"
top="$(basename "${zip[0]}" .zip)"
for f in bin/VantrelSh.dll bin/VantrelUi.dll bin/vtls.exe lib/libVantrelSh.dll.a lib/VantrelSh.lib \
         lib/libVantrelUi.dll.a lib/VantrelUi.lib include/VantrelSh.h lib/cmake/VantrelSh/VantrelShConfig.cmake \
         lib/cmake/VantrelSh/VantrelShConfigVersion.cmake share/doc/VantrelSh/README.md; do
  grep -qxF "$top/$f" <<<"$listing" || { echo "FAIL: the zip lacks $f" >&2; echo "$listing" >&2; exit 1; }
done
(cd "$work" && cmake -E tar xf "${zip[0]}")
if "${OBJDUMP:-objdump}" -h "$work/$top/bin/VantrelSh.dll" 2>/dev/null | grep -q '\.debug_info'; then
  echo "FAIL: the zipped DLL still carries debug sections" >&2
  exit 1
fi
echo "zip ($arch): $(grep -c . <<<"$listing") entries, all expected files present"
