#!/usr/bin/env bash
# Load: 100,000 and then 1,000,000 users are created, log on, enter a room and are deleted in
# the stand-in host, with a reload every 1,000 users: half of them with the registration seed
# of the example list's Ada (53, recognised), half with 54 (not). No violation is allowed, and the host's
# peak memory after a million users must stay within 1 MiB of its peak after 100,000: memory
# does not grow with the number of users already deleted.
#   run-load.sh LAUNCH HOST PLUGIN LIST       (LAUNCH: the build's launcher, which starts the host)
set -u
launch=$1 host=$2 plugin=$3 list=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
peak() {
  local half=$(($1 / 2))
  {
    echo 'wait 0'
    echo "churn $half every=1000 crc=0x3E71D5A4 counter=53 ip=10.1.2.3"
    echo "churn $half every=1000 crc=0x3E71D5A4 counter=54 ip=10.1.2.4"
  } >"$work/churn.session"
  "$launch" "$host" --quiet --stats --script "$work/churn.session" "$plugin" "$list" >"$work/out.$1" 2>&1 || {
    cat "$work/out.$1"; echo "load: the host failed with $1 users"; exit 1; }
  grep -q '^end at .*: 0 user(s), 0 violation(s)$' "$work/out.$1" || {
    cat "$work/out.$1"; echo "load: violations with $1 users"; exit 1; }
  sed -n 's/^peak memory: \([0-9]*\) KiB$/\1/p' "$work/out.$1"
}
small=$(peak 100000)
large=$(peak 1000000)
echo "peak memory: ${small} KiB after 100,000 users, ${large} KiB after 1,000,000 users"
if [ "$large" -gt $((small + 1024)) ]; then
  echo "load: peak memory grew by $((large - small)) KiB"
  exit 1
fi
