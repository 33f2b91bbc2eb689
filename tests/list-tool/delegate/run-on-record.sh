#!/usr/bin/env bash
# Every change on record, or not made, through real sudo: an account allowed by a sudo rule to
# run only `tolvane-list edit LIST` (account.sh) edits with a system log of the test's own
# (tolvane-private-log), and root changes a list of its own.
#   run-on-record.sh TOOL LAUNCH PRIVATE_LOG
# 1. A record whose comment is 55,000 bytes that are not UTF-8 installs and reaches the log in
#    one line within a datagram, the comment cut short with the count of bytes left out.
# 2. 28 records of 2,000-byte comments install; the one line sums up those it cannot hold, with
#    their count and the change's id in the journal; `history --json` lists all 28.
# 3. Where the system log takes no line, the delegate's change is refused before anything is
#    written: the list's folder is as it was but for the lock's content, the editor never runs.
# 4. Root's change with no system log installs and says it is not logged; `check` warns of it
#    until the next change that can log sends it late, once; the change after sends nothing late.
# What reaches the private log is "<PRI>MESSAGE", the time stamp and the tag with its process id
# left out (support/private-dev-log.h): a line's text is bounded at 2,000 bytes, and with the
# longest head syslog's framing gives it, the datagram at 2,048.
set -u
tool=$(realpath "$1") launch=$2 private_log=$3
export LC_ALL=C  # lengths in bytes
# shellcheck source=tests/list-tool/delegate/account.sh
. "$(dirname "$0")/account.sh"
example=$(dirname "$0")/../../../examples/admins.list
long=$work/etc/long.list many=$work/etc/many.list mine=$work/etc/root.list
for l in "$long" "$many" "$mine"; do cp "$example" "$l"; chmod 640 "$l"; done
allow_edit "$long" "$many"
frame='Dec 31 23:59:59 tolvane-list[4194304]: '  # the longest head the private log leaves out

# The delegate's `sudo tolvane-list edit LIST` with SUDO_EDITOR=$work/SCRIPT, under the private
# log that the options before SCRIPT choose; standard output in $work/out, error in $work/err.
delegate_edit() {
  local script=$1 list=$2
  shift 2
  "$launch" "$private_log" "$@" su -s /bin/sh "$user" \
    -c "SUDO_EDITOR='$work/$script' sudo -n '$tool' edit '$list'" </dev/null >"$work/out" 2>"$work/err"
}
said() { cat "$work/out" "$work/err"; }
# The lines the tool sent to the log in $1 (those of sudo and su carry their own head), put in
# $work/got, each checked: whole (every message in the file is one line) and within its bound.
tool_lines() {
  local line
  LC_ALL=C grep '^<85>"' "$1" >"$work/got"
  while IFS= read -r line; do problem "$2: a message split over lines: $line"; done < <(LC_ALL=C grep -v '^<[0-9]*>' "$1")
  while IFS= read -r line; do
    [ $((${#line} - 4)) -le 2000 ] || problem "$2: a line of ${#line} bytes: $line"
    [ $((${#line} + ${#frame})) -le 2048 ] || problem "$2: a datagram of ${#line} bytes and its head"
  done < <(LC_ALL=C cat "$work/got")
}
# A journal's last install entry's id, and the end entry of an id: "LOGGED AT".
last_install() {
  python3 -c 'import json,sys
print([e for e in map(json.loads, open(sys.argv[1])) if e["kind"] == "install"][-1]["id"])' "$1"
}
end_of() {
  python3 -c 'import json,sys
e = [e for e in map(json.loads, open(sys.argv[1])) if e["kind"] == "end" and e["id"] == sys.argv[2]][-1]
print(str(e["logged"]).lower(), e["at"])' "$1" "$2"
}
head_of() { printf '<85>"%s": edit by root for %s (sudo): installed: ' "$1" "$user"; }

# 1. One record, the delegate's own, whose comment is 55,000 bytes of 0xFF after it on its line:
#    check takes it with no new error (the comment's pieces past the 62nd byte give no record).
head -c 55000 /dev/zero | LC_ALL=C tr '\0' '\377' >"$work/ff"
{ printf '{GA} {} "10.9.*.*"   # '; cat "$work/ff"; echo; } >"$work/long-record"
cat "$long" "$work/long-record" >"$work/long-after.list"
"$tool" check "$work/long-after.list" >"$work/out" 2>&1 || problem "long comment: check: $(cat "$work/out")"
editor adds-long.sh "cat '$work/long-record' >>\"\$1\""
delegate_edit adds-long.sh "$long" --log "$work/log-long" || problem "long comment: exit $?: $(said)"
cmp -s "$long" "$work/long-after.list" || problem "long comment: the edit was not installed: $(said)"
grep -q ': changed: installed' "$work/out" || problem "long comment: $(said)"
{ head_of "$long"; printf '+ line 20 slot 4 (registration seed 54, PUID seed any, 10.9.0.0 to 10.9.255.255 # "'
  for _ in $(seq 24); do printf '\\xFF'; done; echo '" (cut: 54976 more bytes))'; } >"$work/want"
tool_lines "$work/log-long" "long comment"
cmp -s "$work/got" "$work/want" || problem "long comment: logged $(cat "$work/got"), not $(cat "$work/want")"
echo "delegate: 55,000 bytes that are not UTF-8 reach the log in one line: $(wc -c <"$work/got") bytes"

# 2. 28 records with comments of 2,000 bytes, too many for one line.
for k in $(seq 28); do
  printf '{GA} {} "10.%d.*.*"   # record %02d %s\n' $((100 + k)) "$k" "$(head -c 1990 /dev/zero | tr '\0' m)"
done >"$work/many-records"
editor adds-many.sh "cat '$work/many-records' >>\"\$1\""
delegate_edit adds-many.sh "$many" --log "$work/log-many" || problem "28 records: exit $?: $(said)"
tool_lines "$work/log-many" "28 records"
id=$(last_install "$work/etc/.many.list.journal")
shown=$(grep -o '+ line ' "$work/got" | wc -l)
{ head_of "$many"
  for k in $(seq "$shown"); do
    [ "$k" = 1 ] || printf '; '
    printf '+ line %d slot %d (registration seed 54, PUID seed any, 10.%d.0.0 to 10.%d.255.255 # "record %02d %s" (cut: 1904 more bytes))' \
      $((19 + k)) $((3 + k)) $((100 + k)) $((100 + k)) "$k" "$(head -c 86 /dev/zero | tr '\0' m)"
  done
  echo "; and $((28 - shown)) more (change $id in the journal)"; } >"$work/want"
{ [ "$shown" -ge 1 ] && [ "$shown" -lt 28 ]; } || problem "28 records: $shown written out"
cmp -s "$work/got" "$work/want" || problem "28 records: logged $(cat "$work/got"), not $(cat "$work/want")"
"$tool" history --json "$many" >"$work/history" 2>&1 || problem "28 records: history: $(cat "$work/history")"
python3 - "$work/history" "$id" "$user" "$work/many-records" <<'PY' || problem "28 records: history --json: $(cat "$work/history")"
import json, sys
change = json.load(open(sys.argv[1]))["changes"][0]
assert change["id"] == sys.argv[2] and change["verb"] == "edit" and change["installed"], change["id"]
assert change["sudoUser"] == sys.argv[3] and change["logged"], change
lines = open(sys.argv[4]).read().splitlines()
assert len(change["changes"]) == 28, len(change["changes"])
for k, c in enumerate(change["changes"], 1):
    r = c["record"]
    comment = lines[k - 1].split("# ", 1)[1]
    assert c["kind"] == "added" and r["line"] == 19 + k and r["slot"] == 3 + k, c
    assert r["rSeed"] == 54 and r["ipMin"] == "10.%d.0.0" % (100 + k), c
    assert r["comment"] and comment.startswith(r["comment"]), c
PY
echo "delegate: 28 records in one line, $shown written out and $((28 - shown)) summed up under change $id"

# 3. A system log that takes no line: refused, and the list's folder as it was.
snapshot() {
  find "$work/etc" -mindepth 1 -printf '%P %y %m %U %G %i' \( -name '*.lock' -printf '\n' -o -printf ' %s %T@\n' \)
  find "$work/etc" -type f ! -name '*.lock' -exec sha256sum {} + | sort
}
snapshot >"$work/folder.before"
marker=$work/records/ran
editor marks.sh "touch '$marker'; echo '{HA} {} \"10.8.*.*\"' >>\"\$1\""
delegate_edit marks.sh "$long" --refuse; status=$?
[ "$status" = 1 ] || problem "refusing log: exit $status, not 1: $(said)"
grep -qxF "$long: error: the system log cannot take this change's line (the system log at /dev/log is not running): a change made through sudo is made only on record; nothing written [not-on-record]" "$work/err" ||
  problem "refusing log: $(said)"
snapshot >"$work/folder.after"
diff "$work/folder.before" "$work/folder.after" >"$work/diff" || problem "refusing log: the list's folder changed: $(cat "$work/diff")"
[ -e "$marker" ] && problem "refusing log: the editor ran"
[ -z "$(own_folders)" ] || problem "refusing log: a private folder was made: $(own_folders)"
echo "delegate: where the system log takes no line, the change is refused and nothing is written"

# 4. Root's change with no system log: installed, said to be unlogged, sent late by the next.
root_add() {
  "$launch" "$private_log" "$@" "$tool" add "$mine" --rseed "$seed" --addr "10.7.7.$seed" >"$work/out" 2>"$work/err"
}
added() { printf '+ line %d slot %d (registration seed %d, PUID seed any, 10.7.7.%d to 10.7.7.%d)' \
  $((13 + $1)) $(($1 - 3)) "$1" "$1" "$1"; }
seed=7
root_add --no-log || problem "no log: exit $?: $(said)"
grep -q ': changed: installed' "$work/out" || problem "no log: $(said)"
[ "$(cat "$work/err")" = "$mine: not logged: no system log at /dev/log" ] || problem "no log: $(said)"
unlogged=$(last_install "$work/etc/.root.list.journal")
read -r logged at < <(end_of "$work/etc/.root.list.journal" "$unlogged")
[ "$logged" = false ] || problem "no log: the journal's end says logged: $logged"
"$tool" check "$mine" >"$work/out" 2>&1; status=$?
[ "$status" = 1 ] || problem "no log: check exits $status"
grep -qxF "$mine: warning: change $unlogged ($at) is not on record in the system log (no system log at /dev/log): the next change that can log puts it there [not-logged]" "$work/out" ||
  problem "no log: check: $(cat "$work/out")"
seed=8
root_add --log "$work/log-late" || problem "logged late: exit $?: $(said)"
{ printf '<85>"%s": add by root: logged late (change %s of %s): installed: ' "$mine" "$unlogged" "$at"; added 7; echo
  printf '<85>"%s": add by root: installed: ' "$mine"; added 8; echo; } >"$work/want"
tool_lines "$work/log-late" "logged late"
cmp -s "$work/got" "$work/want" || problem "logged late: logged $(cat "$work/got"), not $(cat "$work/want")"
"$tool" check "$mine" >"$work/out" 2>&1 || problem "logged late: check: $(cat "$work/out")"
grep -q 'not-logged' "$work/out" && problem "logged late: check still warns: $(cat "$work/out")"
seed=9
root_add --log "$work/log-after" || problem "after: exit $?: $(said)"
{ printf '<85>"%s": add by root: installed: ' "$mine"; added 9; echo; } >"$work/want"
tool_lines "$work/log-after" "after"
cmp -s "$work/got" "$work/want" || problem "after: logged $(cat "$work/got"), not $(cat "$work/want")"
echo "delegate: root's change with no system log is sent late by the next change, once"
exit $fail
