#!/usr/bin/env bash
# The ABI check on a plug-in built to break the floor: it must fail, name the fstat import, and
# on i386 name the SSE use.
#   expect-refusal.sh PLUGIN.so ABI
set -u
here=$(cd "$(dirname "$0")" && pwd)
out=$(bash "$here/check-exports.sh" "$1" "$2")
rc=$?
echo "$out"
fail=0
[ $rc -eq 1 ] || { echo "want exit 1 from the check, got $rc"; fail=1; }
case $2 in i386) floor=GLIBC_2.3 ;; *) floor=GLIBC_2.3.4 ;; esac
want="imports fstat@GLIBC_2.33, newer than the floor $floor: hosts on older systems cannot load it"
grep -qxF "$want" <<<"$out" || { echo "want the line: $want"; fail=1; }
if [ "$2" = i386 ]; then
  grep -qx 'uses SSE registers on i386:' <<<"$out" || { echo "want the SSE use named"; fail=1; }
fi
exit $fail
