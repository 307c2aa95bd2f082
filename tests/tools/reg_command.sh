#!/usr/bin/env bash
# vtls reg under wine64: a tree printed, copied (a second copy refused), the
# copy printed the same, deleted; a named machine (this one) and bad arguments.
# Usage: reg_command.sh <vtls.exe>
set -euo pipefail
vtls_exe="$1"
# The program that runs this build's Windows programs (the tests pass their build's emulator).
run="${VTLS_WINE_RUN:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-run.sh}"
base='HKCU\Software\VtlsRegCommandTest'

fail() { echo "FAIL: $*" >&2; exit 1; }
vtls() { "$run" "$vtls_exe" reg "$@" </dev/null 2>&1; }
expect_rc() {  # rc, then the command's arguments; prints the output
  local want="$1" out rc
  shift
  set +e
  out="$(vtls "$@")"
  rc=$?
  set -e
  [ "$rc" -eq "$want" ] || fail "vtls reg $* gave $rc, not $want: $out"
  printf '%s\n' "$out"
}
cleanup() {
  "$run" reg delete "$base" /f >/dev/null 2>&1 </dev/null || true
  "$run" reg delete "${base}Copy" /f >/dev/null 2>&1 </dev/null || true
}
trap cleanup EXIT
cleanup
"$run" reg add "$base\\Level1\\Level2" /v Text /t REG_SZ /d "hello tree" /f >/dev/null </dev/null
"$run" reg add "$base" /v Number /t REG_DWORD /d 42 /f >/dev/null </dev/null

tree="$(expect_rc 0 tree "$base")"
grep -q '"Number" REG_DWORD 0x0000002A (42)' <<<"$tree" || fail "tree lacks the number: $tree"
grep -q '^      "Text" REG_SZ "hello tree"' <<<"$tree" || fail "tree lacks the nested text: $tree"

expect_rc 0 copy "$base" "${base}Copy" | grep -q '^copied ' || fail "copy did not report"
expect_rc 1 copy "$base" "${base}Copy" | grep -q 'VtlsRegCommandTestCopy: 0x80030050, already exists' ||
  fail "a second copy was not refused as existing"
copy_tree="$(expect_rc 0 tree "${base}Copy")"
[ "$(tail -n +2 <<<"$tree")" = "$(tail -n +2 <<<"$copy_tree")" ] || fail "the copy differs: $copy_tree"

machine="$("$run" cmd /c echo %COMPUTERNAME% </dev/null 2>/dev/null | tr -d '\r')"
[ "$(tail -n +2 <<<"$(expect_rc 0 tree "$base" --machine "\\\\$machine")")" = "$(tail -n +2 <<<"$tree")" ] ||
  fail "the tree through this machine's name differs"
expect_rc 1 tree "$base" --machine no-such-machine | grep -q '0x8000FFFF' || fail "unknown machine not reported"

expect_rc 0 delete "${base}Copy" | grep -q '^deleted ' || fail "delete did not report"
expect_rc 1 tree "${base}Copy" | grep -q '0x80030002, not found' || fail "deleted key still there"
expect_rc 1 delete "${base}Copy" >/dev/null

expect_rc 2 copy "$base" 'HKLM\Software\Elsewhere' | grep -q 'same root' || fail "cross-root copy not refused"
expect_rc 2 delete 'HKCU' | grep -q 'whole root' || fail "root delete not refused"
expect_rc 2 tree 'HKXX\Software' >/dev/null
expect_rc 2 frobnicate >/dev/null
expect_rc 2 copy "$base" >/dev/null
echo "vtls reg: all checks passed"
