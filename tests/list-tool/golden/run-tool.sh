#!/usr/bin/env bash
# Runs tolvane-list with the arguments in CASE (its first line, shell words) in a fresh copy of
# tests/fixtures (with a copy of examples/ at ../../examples, as in the source tree), and compares what it prints (standard output, then standard error, then
# `[exit N]`) with EXPECTED.
#   run-tool.sh LAUNCH TOOL CASE EXPECTED PRIVATE_LOG READS
#                                         UPDATE_GOLDEN=1 rewrites EXPECTED instead.
# LAUNCH is the build's launcher (tolvane-launch), which starts the tool and PRIVATE_LOG
# (tolvane-private-log), under which the tool runs: its /dev/log is a socket of the case's own,
# so that it never writes to the machine's log, and says the same whether the machine has one or
# not. That needs root: without it, a case whose READS is `only` (check, match, diff, encode,
# decode, which log nothing) runs as it is, and any other says SKIPPED (exit 77).
# Later lines of CASE:
#   `#! setup: COMMANDS`  run by bash in the copy first, in the shell that then runs the tool
#                         (so `exec 3<>fifo` holds a FIFO open while the tool runs);
#   `#! after: COMMANDS`  run by bash in the copy after the tool, their output appended (to
#                         show what the tool left behind);
#   `#! memory: KIB`      the tool runs with at most KIB KiB of address space (`ulimit -v KIB`;
#                         under qemu-user, qemu's -R: tolvane-launch --memory), not in the
#                         sanitizer build, whose shadow memory needs more: TOLVANE_NO_ULIMIT=1;
#   `#! log: shown`       the lines the tool sent to the log follow `[exit N]`, each after
#                         `log: ` as "<PRI>MESSAGE";
#   `#! log: none`        there is no /dev/log at all, as on a machine without a system log;
#   `#! mask: journal`    the journal's change ids (20261211T054538Z-Ab3dEf) are shown as ID and
#                         its times (2026-12-11T05:45:38Z) as TIME, as they differ each run;
#   `#! clock: UTC`       the tool, in setup and after commands too, runs with its clock set to
#                         UTC (2026-12-11T09:00:30Z) by libfaketime (faketime), as an offset from
#                         the real clock, so that neither TZ nor locale moves it; under qemu-user
#                         the preload goes to the emulated program alone (QEMU_SET_ENV);
#   `#! world: yes`       the case runs three times, each in a fresh copy: as it is, then under
#                         TZ=XXX+12 (UTC-12) and under TZ=XXX-14 (UTC+14), both with the locale
#                         de_DE.UTF-8 (made once per build with localedef, in the build's own
#                         test-locales, a private LOCPATH); all three must print the same bytes.
# In setup and after commands, `tolvane-list ARGS` runs the tool too, with a log of its own whose
# lines are not shown (to make the changes a case starts from, or show what check says after).
# The tool gets 180 seconds (a loaded machine, the sanitizer build): one that hangs fails the
# case instead of stalling it. The copy's
# folder, another each run, is shown as WORK in what is compared.
set -u
launch=$1 tool=$(realpath "$2") case=$3 expected=$4 private_log=$5 reads=${6:-changes}
if [ "$(id -u)" != 0 ] && [ "$reads" != only ]; then
  echo "SKIPPED: a change runs where /dev/log is its own, a mount namespace that needs root"
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
# Each play's folder lies in this one: a case that opens its own folders to another account
# (`check --as nobody`) reaches them only through it.
chmod 755 "$top"
clock_at=$(sed -n 's/^#! clock: //p' "$case")
world=$(sed -n 's/^#! world: //p' "$case")
if [ -n "$clock_at" ] && ! command -v faketime >/dev/null; then
  echo "SKIPPED: the case sets the clock with faketime, which is not installed (scripts/setup)"
  exit 77
fi
# The clock's offset to the case's time, taken anew for each play.
set_clock() {
  clock=()
  [ -n "$clock_at" ] || return 0
  local target offset
  target=$(date -u -d "$(tr T ' ' <<<"${clock_at%Z}") UTC" +%s) || exit 2
  offset="$((target - $(date +%s)))s"
  [[ $offset == -* ]] || offset="+$offset"
  if [ "$("$launch" --how)" = natively ]; then
    # AddressSanitizer's allocator reads the monotonic clock as it starts unless its release to
    # the system is off: libfaketime, not yet started itself, then deadlocks in the sanitizer
    # build's tool. The option means nothing to a program built without it.
    clock=(env "LD_PRELOAD=/usr/\$LIB/faketime/libfaketime.so.1" "FAKETIME=$offset"
      "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_release_to_os_interval_ms=-1")
  else
    clock=(env "QEMU_SET_ENV=LD_PRELOAD=/usr/\$LIB/faketime/libfaketime.so.1,FAKETIME=$offset")
  fi
}
# Plays the case once in a fresh copy, with the environment's assignments given; what it printed
# is left in $work/.all.
play() {
work=$(mktemp -d "$top/run.XXXXXX")
set_clock
mkdir -p "$work/tests/fixtures"
cp -r "$here/../../fixtures/." "$work/tests/fixtures/"
cp -r "$here/../../../examples" "$work/examples"
run="$work/tests/fixtures"
eval "set -- $(head -n 1 "$case")"
setup=$(sed -n 's/^#! setup: //p' "$case")
memory=$(sed -n 's/^#! memory: //p' "$case")
after=$(sed -n 's/^#! after: //p' "$case")
log=$(sed -n 's/^#! log: //p' "$case")
mask=$(sed -n 's/^#! mask: //p' "$case")
[ "${TOLVANE_NO_ULIMIT:-0}" = 1 ] && memory=
logger=("$launch" "$private_log" --log "$work/.log")
[ "$log" = none ] && logger=("$launch" "$private_log" --no-log)
quiet=("$launch" "$private_log")
[ "$(id -u)" = 0 ] || logger=() quiet=()
cap=()
[ -z "$memory" ] || cap=(--memory "$memory")
tolvane-list() { "${quiet[@]}" "${clock[@]}" "$launch" "$tool" "$@"; }
(cd "$run" && { for assignment in "${place[@]}"; do export "${assignment?}"; done; } 2>/dev/null &&
 eval "$setup" &&
 "${logger[@]}" timeout 180 "${clock[@]}" "$launch" "${cap[@]}" "$tool" "$@" >"$work/.out" 2>"$work/.err"
 echo "[exit $?]" >>"$work/.err")
cat "$work/.out" "$work/.err" >"$work/.all"
[ "$log" != shown ] || sed 's/^/log: /' "$work/.log" >>"$work/.all" 2>/dev/null
[ -z "$after" ] || (cd "$run" && eval "$after") >>"$work/.all" 2>&1
# The copy's own folder is another each run: it is shown as WORK.
sed -i "s#$work#WORK#g" "$work/.all"
if [ "$mask" = journal ]; then
  sed -i -e 's/[0-9]\{8\}T[0-9]\{6\}Z-[A-Za-z0-9]\{6\}/ID/g' \
    -e 's/[0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\}T[0-9]\{2\}:[0-9]\{2\}:[0-9]\{2\}Z/TIME/g' "$work/.all"
fi
}
place=()
play "$@"
if [ "$world" = yes ]; then
  first=$work
  # The locale is made once for the build's cases, beside the tool, under a lock: each case
  # that needs it first waits for the one making it.
  locales="$(dirname "$tool")/test-locales"
  (
    flock 9
    [ -e "$locales/de_DE.UTF-8/LC_CTYPE" ] && exit 0
    rm -rf "$locales.new" && mkdir -p "$locales.new" &&
      localedef -i de_DE -f UTF-8 "$locales.new/de_DE.UTF-8" >/dev/null 2>&1 &&
      rm -rf "$locales" && mv "$locales.new" "$locales"
  ) 9>"$locales.lock" ||
    { echo "SKIPPED: localedef cannot make de_DE.UTF-8 (the locales package: scripts/setup)"; exit 77; }
  for zone in XXX+12 XXX-14; do
    place=("TZ=$zone" "LOCPATH=$locales" "LC_ALL=de_DE.UTF-8" "LANG=de_DE.UTF-8")
    play "$@"
    diff -u "$first/.all" "$work/.all" ||
      { echo "output of $(basename "$case") differs under TZ=$zone LC_ALL=de_DE.UTF-8"; exit 1; }
  done
  work=$first
fi
if [ "${UPDATE_GOLDEN:-0}" = 1 ]; then
  cp "$work/.all" "$expected"
  echo "updated $expected"
  exit 0
fi
diff -u "$expected" "$work/.all" || { echo "output of $(basename "$case") differs"; exit 1; }
