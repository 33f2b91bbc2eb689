#!/usr/bin/env bash
# Runs one fuzz target for a fixed time from its committed seed corpus; what it finds new goes
# into a scratch corpus in the build folder, never into the source tree.
#   run-fuzz.sh TARGET SEEDS WORK [LIBFUZZER-OPTION...]
# It runs TOLVANE_FUZZ_SECONDS seconds, 20 by default; the options go to libFuzzer.
set -u
target=$1 seeds=$2 work=$3
shift 3
seconds=${TOLVANE_FUZZ_SECONDS:-20}
mkdir -p "$work"
"$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$work/" "$@" "$work" "$seeds" 2>"$work.log"
rc=$?
grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$work.log"
if [ $rc -ne 0 ]; then
  tail -n 40 "$work.log"
  echo "fuzz: $(basename "$target") failed (exit $rc); the input is in $work/"
fi
exit $rc
