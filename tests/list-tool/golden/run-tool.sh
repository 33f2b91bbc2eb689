#!/usr/bin/env bash
# Runs tolvane-list with the arguments in CASE (its first line, shell words) in a fresh copy of
# tests/fixtures (with a copy of examples/ at ../../examples, as in the source tree), and compares what it prints (standard output, then standard error, then
# `[exit N]`) with EXPECTED.
#   run-tool.sh LAUNCH TOOL CASE EXPECTED        UPDATE_GOLDEN=1 rewrites EXPECTED instead.
# LAUNCH is the build's launcher (tolvane-launch), which starts the tool.
# Later lines of CASE:
#   `#! setup: COMMANDS`  run by bash in the copy first, in the shell that then runs the tool
#                         (so `exec 3<>fifo` holds a FIFO open while the tool runs);
#   `#! after: COMMANDS`  run by bash in the copy after the tool, their output appended (to
#                         show what the tool left behind);
#   `#! memory: KIB`      the tool runs with at most KIB KiB of address space (`ulimit -v KIB`;
#                         under qemu-user, qemu's -R: tolvane-launch --memory), not in the
#                         sanitizer build, whose shadow memory needs more: TOLVANE_NO_ULIMIT=1.
# The tool gets 180 seconds (a loaded machine, the sanitizer build): one that hangs fails the
# case instead of stalling it. The copy's
# folder, another each run, is shown as WORK in what is compared.
set -u
launch=$1 tool=$(realpath "$2") case=$3 expected=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tests/fixtures"
cp -r "$here/../../fixtures/." "$work/tests/fixtures/"
cp -r "$here/../../../examples" "$work/examples"
run="$work/tests/fixtures"
eval "set -- $(head -n 1 "$case")"
setup=$(sed -n 's/^#! setup: //p' "$case")
memory=$(sed -n 's/^#! memory: //p' "$case")
after=$(sed -n 's/^#! after: //p' "$case")
[ "${TOLVANE_NO_ULIMIT:-0}" = 1 ] && memory=
cap=()
[ -z "$memory" ] || cap=(--memory "$memory")
(cd "$run" && eval "$setup" &&
 timeout 180 "$launch" "${cap[@]}" "$tool" "$@" >"$work/.out" 2>"$work/.err"
 echo "[exit $?]" >>"$work/.err")
cat "$work/.out" "$work/.err" >"$work/.all"
[ -z "$after" ] || (cd "$run" && eval "$after") >>"$work/.all" 2>&1
# The copy's own folder is another each run: it is shown as WORK.
sed -i "s#$work#WORK#g" "$work/.all"
if [ "${UPDATE_GOLDEN:-0}" = 1 ]; then
  cp "$work/.all" "$expected"
  echo "updated $expected"
  exit 0
fi
diff -u "$expected" "$work/.all" || { echo "output of $(basename "$case") differs"; exit 1; }
