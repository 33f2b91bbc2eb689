#!/usr/bin/env bash
# Runs COMMAND, a script that starts installed copies of this build's programs (the launcher
# tolvane-host, which starts the host of the plug-in's architecture), the way this build runs
# its programs:
#   run-installed.sh LAUNCH PROGRAM... -- COMMAND [ARG...]
# LAUNCH is the build's launcher (tolvane-launch); each PROGRAM an installed program that
# COMMAND may start. Natively, COMMAND simply runs. Under qemu-user the kernel cannot start an
# installed i386 program, and the script that starts it cannot be told otherwise: so COMMAND
# runs in a mount namespace of its own (root only; otherwise SKIPPED, exit 77) in which each
# PROGRAM is covered by a script that starts a copy of it through LAUNCH. The installed files
# themselves stay as they are.
set -euo pipefail
launch=$1
shift
programs=()
while [ "$1" != -- ]; do
  programs+=("$1")
  shift
done
shift
if [ "$("$launch" --how)" = natively ]; then
  exec "$@"
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: installed i386 programs run under qemu-user only in a mount namespace, which needs root"
  exit 77
fi
copies=$(mktemp -d)
trap 'rm -rf "$copies"' EXIT
covers=()
for p in "${programs[@]}"; do
  n=${#covers[@]}
  cp "$p" "$copies/$n"
  printf '#!/bin/sh\nexec %q %q "$@"\n' "$launch" "$copies/$n" >"$copies/$n.sh"
  chmod 755 "$copies/$n.sh"
  covers+=("$copies/$n.sh" "$p")
done
status=0
unshare --mount --propagation private bash -c '
  while [ "$1" != -- ]; do mount --bind "$1" "$2"; shift 2; done
  shift
  exec "$@"' bash "${covers[@]}" -- "$@" || status=$?
exit $status
