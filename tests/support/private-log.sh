#!/usr/bin/env bash
# Runs a test where /dev/log is a file of its own, so that no line of the programs it starts
# (tolvane-list's changes, sudo, su, useradd, ansible's modules) reaches the machine's system
# log, whether or not a logger listens there, or starts to meanwhile.
#   private-log.sh COMMAND [ARG...]
# The command runs in a mount namespace of its own (unshare, as root) whose /dev is a read-only
# overlay: private-dev/ beside this script on top, the machine's /dev below, and the mounts
# inside /dev (pts, shm) bound again over it. private-dev/log, an empty file, hides whatever
# /dev/log is: syslog(3) is refused there and drops the line. Devices open as before, and
# nothing of the machine changes. A test that asserts log lines (tests/list-tool/audit) catches
# them at a socket of its own inside.
# Without root no such namespace can be made: the test says SKIPPED and exits with 77 (a test
# program still lists its tests, which runs nothing).
set -euo pipefail
if [ "${1:-}" = --in-namespace ]; then
  shift
  # The mounts inside /dev that can be seen (not under another mount on /dev), each held open
  # (fd 10 on) to be bound again over the overlay.
  mounts=()
  mapfile -t info </proc/self/mountinfo
  for line in "${info[@]}"; do
    read -r _ _ _ _ point _ <<<"$line"
    case $point in /dev/*) ;; *) continue ;; esac
    for m in "${mounts[@]}"; do [[ $point != "$m" && $point != "$m"/* ]] || continue 2; done
    [ -d "$point" ] || continue
    eval "exec $((10 + ${#mounts[@]}))<\"\$point\""
    mounts+=("$point")
  done
  # The layer's path is relative, so that no character of the checkout's path reaches the options.
  (cd "$(dirname "$0")" && mount -t overlay -o ro,lowerdir=private-dev:/dev tolvane-private-log /dev)
  fd=10
  for m in "${mounts[@]}"; do
    mount --no-canonicalize --rbind "/proc/self/fd/$fd" "$m"
    eval "exec $fd<&-"
    fd=$((fd + 1))
  done
  exec "$@"
fi
if [ "$(id -u)" -ne 0 ]; then
  for a in "$@"; do [ "$a" != --gtest_list_tests ] || exec "$@"; done
  echo "SKIPPED: a /dev/log of the test's own needs a mount namespace, which needs root" >&2
  exit 77
fi
exec unshare --mount --propagation private bash "$0" --in-namespace "$@"
