#!/usr/bin/env bash
# vtls icon under wine64 for a class registered for the test under
# HKLM\Software\Classes\CLSID (removed again on exit): the location it prints,
# the two .ico files it writes, and its errors.
# Usage: icon_command.sh <vtls.exe> <vtls_icon_fixture.dll>
set -euo pipefail
vtls_exe="$1"
fixture="$2"
# The program that runs this build's Windows programs (the tests pass their build's emulator).
run="${VTLS_WINE_RUN:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-run.sh}"
out="$(mktemp -d)"
registered=()

# The registry view of vtls.exe's width: a 32-bit process reads
# HKLM\Software\Classes\CLSID through the 32-bit view (Wow6432Node), which
# reg.exe (64-bit) writes only when asked to. The width comes from the PE
# header's machine field (0x014C i386, 0x8664 x86_64).
pe_offset="$(od -An -tu4 -j 60 -N 4 "$vtls_exe" | xargs)"
case "$(od -An -tx2 -j "$((pe_offset + 4))" -N 2 "$vtls_exe" | xargs)" in
  014c) view=/reg:32 ;;
  8664) view=/reg:64 ;;
  *) echo "FAIL: $vtls_exe is neither i386 nor x86_64" >&2; exit 1 ;;
esac

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
new_class() { tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid; }

cleanup() {
  local id
  for id in "${registered[@]}"; do
    "$run" reg delete "HKLM\\Software\\Classes\\CLSID\\{$id}" /f "$view" >/dev/null 2>&1 || true
  done
  rm -rf "$out"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  [ -e "$out/log" ] && cat "$out/log" >&2
  exit 1
}

# register <id> <subkey> <default value>
register() {
  registered+=("$1")
  "$run" reg add "HKLM\\Software\\Classes\\CLSID\\{$1}\\$2" /ve /d "$3" /f "$view" >/dev/null 2>&1 ||
    fail "reg add for {$1}\\$2"
}

# vtls <expected exit code> <arguments...>: output and errors go to $out/log.
vtls() {
  local expected="$1" code=0
  shift
  "$run" "$vtls_exe" "$@" >"$out/log" 2>&1 </dev/null || code=$?
  [ "$code" -eq "$expected" ] || fail "vtls $* exited with $code, expected $expected"
}

bytes() { od -An -tu1 -j "$2" -N "$3" "$1" | xargs; }

# The fixture's third icon group (integer id 2) as the class's default icon.
class="$(new_class)"
register "$class" DefaultIcon "$(windows_path "$fixture"),2"
vtls 0 icon "{$class}" --out "$(windows_path "$out")"
grep -q "location  $(windows_path "$fixture" | sed 's/\\/\\\\/g')" "$out/log" || fail "location not printed"
grep -q "index     2" "$out/log" || fail "index not printed"
grep -Eq "large +32 x 32" "$out/log" || fail "large icon not reported"
for kind in large small; do
  [ -s "$out/$class-$kind.ico" ] || fail "$class-$kind.ico not written"
done
# One 32-bit image each: the directory, then a header of twice the height.
[ "$(bytes "$out/$class-large.ico" 0 8)" = "0 0 1 0 1 0 32 32" ] || fail "large .ico directory"
[ "$(bytes "$out/$class-small.ico" 0 8)" = "0 0 1 0 1 0 16 16" ] || fail "small .ico directory"
[ "$(bytes "$out/$class-large.ico" 26 4)" = "32 0 0 0" ] || fail "large .ico header width"
[ "$(bytes "$out/$class-large.ico" 30 4)" = "64 0 0 0" ] || fail "large .ico header height"
# Its first pixel is the fixture image's colour (blue, green, red, alpha) of
# group id 2 at 32 pixels, 32-bit: Wine makes 32-bit icons whatever the colour
# depth asked for.
[ "$(bytes "$out/$class-large.ico" 62 4)" = "167 104 112 255" ] || fail "large .ico pixel"

# A server registered as a command line: located, but no module of that name.
server="$(new_class)"
register "$server" LocalServer32 '"C:\Program Files\Vendor\server.exe" -Embedding'
vtls 1 icon "{$server}" --out "$(windows_path "$out")"
grep -q 'location  "C:\\Program Files\\Vendor\\server.exe" -Embedding' "$out/log" || fail "server path not printed whole"
grep -q "cannot extract icon 0" "$out/log" || fail "extraction failure not reported"

# Nothing registered, and no class id at all.
vtls 1 icon "{$(new_class)}"
grep -q "no icon location registered for .*STG_E_FILENOTFOUND" "$out/log" || fail "missing registration not reported"
vtls 2 icon "{not-a-class}"
grep -q "neither a class id" "$out/log" || fail "malformed class id not reported"
vtls 2 icon
echo "vtls icon: all checks passed"
