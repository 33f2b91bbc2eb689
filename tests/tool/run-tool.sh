#!/usr/bin/env bash
# Runs tolvane-list with the arguments in CASE (one line, shell words) inside tests/fixtures, and
# compares what it prints (standard output, then standard error, then `[exit N]`) with EXPECTED.
#   run-tool.sh TOOL CASE EXPECTED        UPDATE_GOLDEN=1 rewrites EXPECTED instead.
set -u
tool=$(realpath "$1") case=$2 expected=$3
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp)
trap 'rm -f "$out" "$out.err"' EXIT
eval "set -- $(head -n 1 "$case")"
(cd "$here/../fixtures" && "$tool" "$@" >"$out" 2>"$out.err"; echo "[exit $?]" >>"$out.err")
cat "$out.err" >>"$out"
if [ "${UPDATE_GOLDEN:-0}" = 1 ]; then
  cp "$out" "$expected"
  echo "updated $expected"
  exit 0
fi
diff -u "$expected" "$out" || { echo "output of $(basename "$case") differs"; exit 1; }
