#!/usr/bin/env bash
# The units that take ended grants out on time: systemd-analyze verify passes both (the service's
# program named by its path in a copy of this tree, since it is not installed here), with nothing
# said; then the service's own command, as ExecStart writes it (its program and configuration
# file taken from this tree and a folder of the test's own), runs on a configuration naming two
# lists, one with ended grants among others and one with none, and a comment and a blank line:
# the ended grants are gone, every other record stays, the list with none is untouched, and the
# command ends with status 0. A list that cannot be changed makes its status 1, the others still
# done.
#   units.sh LAUNCH TOOL SOURCE_DIR BUILD_DIR
set -u
launch=$1 tool=$(realpath "$2") source=$(realpath "$3") build=$(realpath "$4")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
problem() { echo "expire units: $*"; fail=1; }
service=$build/packaging/tolvane-expire.service
timer=$source/packaging/systemd/tolvane-expire.timer
script=$source/packaging/systemd/tolvane-expire

# ExecStart: the program and its configuration file.
read -r program conf < <(sed -n 's/^ExecStart=//p' "$service")
[ "$(basename "$program")" = tolvane-expire ] || problem "ExecStart runs $program, not tolvane-expire"
[ "$(basename "$conf")" = expire.conf ] || problem "ExecStart names $conf, not expire.conf"

if command -v systemd-analyze >/dev/null; then
  mkdir -p "$work/units"
  cp "$script" "$work/units/tolvane-expire"
  sed "s#^ExecStart=$program #ExecStart=$work/units/tolvane-expire #" "$service" \
    >"$work/units/tolvane-expire.service"
  cp "$timer" "$work/units/"
  said=$(SYSTEMD_LOG_LEVEL=notice systemd-analyze verify --man=no \
    "$work/units/tolvane-expire.service" "$work/units/tolvane-expire.timer" 2>&1)
  status=$?
  [ "$status" = 0 ] && [ -z "$said" ] ||
    problem "systemd-analyze verify: status $status: $said"
  echo "expire units: systemd-analyze verify passes both units"
else
  echo "expire units: SKIPPED systemd-analyze verify: systemd-analyze is not installed (scripts/setup)"
fi

# The service's command, on lists of the test's own.
mkdir -p "$work/bin" "$work/lists"
printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$launch" "$tool" >"$work/bin/tolvane-list"
chmod +x "$work/bin/tolvane-list"
cat >"$work/lists/a.list" <<'LIST'
# The stand-ins
{FA} {} "10.1.*.*"   # Ada
{GGG} {} "172.16.*.*"   # Kay until 2020-01-31T18:00Z
{NF} {} "10.7.*.*"   # Bo until 2999-12-31T23:59Z
{OF} {} "10.8.*.*"   # until 2021-06-01T00:00Z
LIST
printf '{FA} {} "10.1.*.*"   # Ada until 2999-01-01T00:00Z\n' >"$work/lists/b.list"
cp "$work/lists/b.list" "$work/b.before"
printf '# lists\n\n%s\n%s\n' "$work/lists/a.list" "$work/lists/b.list" >"$work/expire.conf"
(cd "$work" && PATH="$work/bin:$PATH" "$script" "$work/expire.conf" >"$work/out" 2>&1)
status=$?
[ "$status" = 0 ] || problem "the service's command ended with status $status: $(cat "$work/out")"
want='# The stand-ins
{FA} {} "10.1.*.*"   # Ada
{NF} {} "10.7.*.*"   # Bo until 2999-12-31T23:59Z'
[ "$(cat "$work/lists/a.list")" = "$want" ] ||
  problem "a.list after the service's command:"$'\n'"$(cat "$work/lists/a.list")"
cmp -s "$work/b.before" "$work/lists/b.list" || problem "b.list, with no grant ended, was changed"
grep -q "a.list: changed: installed" "$work/out" || problem "no change said for a.list: $(cat "$work/out")"
grep -q "b.list: unchanged" "$work/out" || problem "b.list not said unchanged: $(cat "$work/out")"

# A list that cannot be read: status 1, and the other list still done.
cp "$work/b.before" "$work/lists/b.list"
printf '%s\n%s\n' "$work/lists/missing.list" "$work/lists/b.list" >"$work/expire.conf"
(cd "$work" && PATH="$work/bin:$PATH" "$script" "$work/expire.conf" >"$work/out" 2>&1)
status=$?
[ "$status" = 1 ] || problem "a missing list: status $status, not 1: $(cat "$work/out")"
grep -q "b.list: unchanged" "$work/out" || problem "after a missing list, b.list not done: $(cat "$work/out")"
[ "$fail" = 0 ] && echo "expire units: the service's command took out the ended grants only"
exit $fail
