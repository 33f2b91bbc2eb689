#!/usr/bin/env bash
# Plays one scenario in the stand-in host and compares everything it prints with a golden file.
#   run-golden.sh LAUNCH HOST PLUGIN FAULTY INCOMPLETE SESSION EXPECTED
# LAUNCH is the build's launcher (tolvane-launch), which starts the host.
# The run takes place in a fresh folder holding the plug-ins (tolvane.so, faulty.so,
# incomplete.so), a copy of examples/admins.list as admins.list, and the scenario as `session`.
# The session's first line may give the host's arguments: `#! host: --argc 1 PLUGIN x.list`
# (PLUGIN, FAULTY and INCOMPLETE name the plug-ins); by default they are `PLUGIN admins.list`.
# Lines `#! setup: COMMANDS` are run by bash in the folder, in order, in the shell that then
# starts the host (so `exec 3<>fifo` holds a FIFO open for the host's whole run). The host plays
# the session itself (`--script session`), unless the `#! host:` line names another script with
# `--script`, or a line `#! stdin: FILE` gives its standard input (then no `--script`). The
# host gets 60 seconds (valgrind: 300): one that hangs fails the test instead of stalling it.
# Standard output and standard error are compared together, then `[exit N]`.
# UPDATE_GOLDEN=1 rewrites EXPECTED instead; TOLVANE_VALGRIND=1 runs the host under memcheck.
set -u
launch=$1 host=$(realpath "$2") plugin=$3 faulty=$4 incomplete=$5 session=$6 expected=$7
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$plugin" "$work/tolvane.so"
cp "$faulty" "$work/faulty.so"
cp "$incomplete" "$work/incomplete.so"
cp "$here/../../examples/admins.list" "$work/admins.list"
cp "$session" "$work/session"
args=$(sed -n '1s/^#! host: //p' "$session")
[ -n "$args" ] || args="PLUGIN admins.list"
args=${args//PLUGIN/tolvane.so}
args=${args//FAULTY/faulty.so}
args=${args//INCOMPLETE/incomplete.so}
setup=$(sed -n 's/^#! setup: //p' "$session")
stdin=$(sed -n 's/^#! stdin: //p' "$session")
script=(--script session)
[[ -n "$stdin" || " $args " == *" --script "* ]] && script=()
runner=(timeout 60 "$launch")
if [ "${TOLVANE_VALGRIND:-0}" = 1 ]; then
  if ! command -v valgrind >/dev/null; then
    echo "valgrind is not installed: the transcript cannot be checked under memcheck (scripts/setup installs it)"
    exit 1
  fi
  # memcheck runs in the x86-64 build only, whose programs run natively: it starts the host.
  runner=(timeout 300 valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite)
fi
# shellcheck disable=SC2086
(cd "$work" && eval "$setup" && "${runner[@]}" "$host" "${script[@]}" $args <"${stdin:-/dev/null}" >out 2>&1
 echo "[exit $?]" >>out)
if [ "${UPDATE_GOLDEN:-0}" = 1 ]; then
  cp "$work/out" "$expected"
  echo "updated $expected"
  exit 0
fi
if ! diff -u "$expected" "$work/out"; then
  echo "transcript of $(basename "$session") differs from $(basename "$expected")"
  exit 1
fi
