#!/usr/bin/env bash
# Runs examples/ansible/tolvane.yml with ansible-playbook against three local servers, each with
# its own folder, list and owner (root, daemon, nobody), as a network's operators would:
#   1. a preview (--check --diff) of the first run shows the whole list each server would get
#      and writes nothing; the first run installs the list on all three, with its owner and
#      mode, and the stand-in host with the real plug-in recognises the network's administrator
#      from each list;
#   2. a broken template fails the preview on all three with tolvane-list check's errors, and
#      a real run's validate step refuses it on all three: either way every live list stays
#      byte for byte as it was, and nothing is left beside it;
#   3. the good template again changes nothing on any server;
#   4. records kept with the module tolvane_record: the preview shows the records that would
#      be added and revoked and the list's lines, and writes nothing; the first run makes
#      exactly those changes (the same records and lines added and taken out, and tolvane-list
#      diff of the list before and after agrees); the second run changes nothing; records the
#      tool refuses fail with its own message and write nothing;
#   5. a fourth server, whose own operators wrote Linus at two addresses: the network revokes
#      him by his seeds alone; the first run takes both records out (changed), the second
#      changes nothing (ok), and tolvane-list match recognises him from neither address;
#   6. the module alone (module-cases.yml): ansible-doc documents it; without tolvane-list on
#      the host, given a value the tool refuses, on a list that is not there, and when the
#      previous version cannot be kept after the list changed, it fails with its own message
#      or the tool's in its parameters' names (the last with the diff of the list's lines),
#      and every key it returns is in its RETURN.
#   7. a grant that ends (grant-ends.yml), two days from now: the first run adds the record with
#      its end (changed, the end in the list's line and the diff), the second changes nothing,
#      a third with an end a day later gives the record that end (changed, the tool's note);
#      then, to a tool that sees the clock three days ahead, the grant has ended: a preview
#      says it would take the record out and writes nothing, a run takes it out (expired), and
#      the next changes nothing. The ends are shown as UNTIL and LATER.
# What the runs show (play recaps, diffs, owners and modes, folders, verdicts, the tables) must
# equal playbook.out (read-log.py picks the diffs and verdicts out of ansible's output); each
# server's host transcript must equal recognise.out.
#   run-playbook.sh SOURCE-DIR TOLVANE-LIST TOLVANE-HOST TOLVANE-SO
# UPDATE_GOLDEN=1 rewrites the two golden files instead. Exit 77 (skipped) when not root: the
# lists belong to other accounts.
set -u
src=$1 tool=$2 host=$3 plugin=$4
here=$src/tests/system/ansible
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the lists are given to root, daemon and nobody, which takes root"; exit 77
fi
for account in daemon nobody; do
  getent passwd "$account" >/dev/null || { echo "no account '$account' on this system"; exit 1; }
done

# Everything ansible writes goes below a folder of the test's own, removed at the end.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 143' TERM INT
chmod 0755 "$work"
mkdir "$work/home"
export HOME=$work/home ANSIBLE_LOCAL_TEMP=$work/home/local ANSIBLE_REMOTE_TEMP=$work/home/remote
export ANSIBLE_NOCOLOR=1 ANSIBLE_STDOUT_CALLBACK=default ANSIBLE_RETRY_FILES_ENABLED=0
unset ANSIBLE_CONFIG
cd "$work" || exit 1

servers=(chat1 chat2 chat3)
declare -A list=(
  [chat1]=$work/chat1/etc/tolvane/admins.list
  [chat2]=$work/chat2/srv/palace/admins.list
  [chat3]=$work/chat3/opt/chat/tolvane.list)
declare -A owner=([chat1]=root:root [chat2]=daemon:daemon [chat3]=nobody:nogroup)
declare -A mode=([chat1]=0644 [chat2]=0640 [chat3]=0600)
{
  echo "[tolvane_servers]"
  for s in "${servers[@]}"; do
    echo "$s ansible_connection=local ansible_python_interpreter=/usr/bin/python3" \
      "tolvane_list=${list[$s]} tolvane_list_owner=${owner[$s]%:*}" \
      "tolvane_list_group=${owner[$s]#*:} tolvane_list_mode=\"${mode[$s]}\""
  done
} >inventory.ini

problems=0
problem() { echo "FAIL: $*"; problems=$((problems + 1)); }
out=$work/playbook.out
# Runs ansible-playbook with these arguments; its whole output is kept in run-N.log, its play
# recap (spaces squeezed) in recap-N and the transcript, and its exit status returned.
runs=0
playbook() {
  runs=$((runs + 1))
  local log=$work/run-$runs.log rc
  ansible-playbook "$@" >"$log" 2>&1
  rc=$?
  sed -n '/^PLAY RECAP/,$p' "$log" | sed '/^$/d' | tr -s ' ' >"$work/recap-$runs"
  cat "$work/recap-$runs" >>"$out"
  echo "[ansible-playbook exit $rc]" >>"$out"
  return $rc
}
# Runs the example playbook on the servers with these extra arguments, as playbook() does.
play() {
  playbook -i inventory.ini -e "tolvane_list_tool=$tool" "$@" "$src/examples/ansible/tolvane.yml"
}
# One count of the last run's recap (changed, failed) for each server, in server order.
counts() { grep -E '^chat[123] : ' "$work/recap-$runs" | grep -o " $1=[0-9]*" | tr -d '\n'; }
# Shows each server's list: owner, group and mode, and what lies in its folder.
show_lists() {
  for s in "${servers[@]}"; do
    echo "$s: $(stat -c '%U:%G %a' "${list[$s]}") $(cd "$(dirname "${list[$s]}")" && ls -A | tr '\n' ' ')"
  done >>"$out"
}
# Prints the log of the last run, for a failure's context.
last_log() { echo "--- ansible-playbook's output:"; cat "$work/run-$runs.log"; }
# What read-log.py finds in the last run's output: its diffs or its failures.
diffs() { python3 "$here/read-log.py" diffs "$work/run-$runs.log" "$work"; }
verdicts() { python3 "$here/read-log.py" verdicts "$work/run-$runs.log" "$work"; }
# Keeps each list's bytes, its owner, mode, inode and time, and what lies in its folder.
declare -A kept
list_state() {
  echo "$(stat -c '%U:%G %a %i %Y' "${list[$1]}") $(cd "$(dirname "${list[$1]}")" && ls -A | tr '\n' ' ')"
}
keep_lists() {
  for s in "${servers[@]}"; do
    cp "${list[$s]}" "$work/$s.kept"
    kept[$s]=$(list_state "$s")
  done
}
# Says where a list is not as keep_lists kept it, after the run named by the argument.
same_lists() {
  for s in "${servers[@]}"; do
    cmp -s "$work/$s.kept" "${list[$s]}" || problem "$s: $1 changed the list's bytes"
    [ "${kept[$s]}" = "$(list_state "$s")" ] ||
      problem "$s: $1 changed the list's owner, mode, inode or time, or its folder: $(list_state "$s")"
  done
}

# 1. A preview of the first run shows each server's whole list to come, and writes nothing.
echo "== a preview of the first run (--check --diff) writes nothing" >>"$out"
play --check --diff --forks 1 || { problem "the preview of the first run failed"; last_log; }
[ "$(counts changed)" = " changed=2 changed=2 changed=2" ] ||
  problem "the preview's recap says$(counts changed), not changed=2 (folder and list) on every server"
diffs >>"$out"
for s in "${servers[@]}"; do
  [ ! -e "$work/$s" ] || problem "$s: the preview wrote $(find "$work/$s" | tr '\n' ' ')"
done

# The first run installs the list on every server.
echo "== the first run installs the network's list" >>"$out"
play || { problem "the first run failed"; last_log; }
[ "$(counts changed)" = " changed=2 changed=2 changed=2" ] ||
  problem "the first run's recap says$(counts changed), not changed=2 (folder and list) on every server"
show_lists
for s in "${servers[@]}"; do
  [ "$(stat -c '%U:%G %a' "${list[$s]}")" = "${owner[$s]} ${mode[$s]#0}" ] ||
    problem "$s: the list is not ${owner[$s]} ${mode[$s]}"
  cmp -s "${list[$s]}" "$work/chat1/etc/tolvane/admins.list" ||
    problem "$s: the list differs from chat1's"
  # The stand-in host plays the scenario with the real plug-in and this server's list.
  transcript=$work/$s.transcript
  (cd "$(dirname "${list[$s]}")" &&
    "$host" --script "$here/recognise.session" "$plugin" "$(basename "${list[$s]}")") >"$transcript" 2>&1
  echo "[exit $?]" >>"$transcript"
  sed -i -e "s#$plugin#tolvane.so#g" -e "s#\"$(basename "${list[$s]}")\"#\"LIST\"#g" "$transcript"
  if [ "${UPDATE_GOLDEN:-0}" = 1 ]; then
    cp "$transcript" "$here/recognise.out"
  else
    diff -u "$here/recognise.out" "$transcript" || problem "$s: the host's transcript differs"
  fi
done

# 2. A broken template fails the preview on every server with check's errors, and a real run's
# validate refuses it everywhere: either way the live lists stay as they were.
keep_lists
echo "== a broken template fails the preview (--check --diff)" >>"$out"
if play --check --diff --forks 1 -e "tolvane_list_template=$here/broken.list.j2"; then
  problem "the preview of the broken template passed"
fi
[ "$(counts failed)" = " failed=1 failed=1 failed=1" ] ||
  problem "the broken template's preview says$(counts failed), not failed=1 on every server"
verdicts >>"$out"
show_lists
same_lists "the broken template's preview"

echo "== a broken template is refused by validate" >>"$out"
if play -e "tolvane_list_template=$here/broken.list.j2"; then
  problem "the broken template was not refused"
fi
[ "$(counts failed)" = " failed=1 failed=1 failed=1" ] ||
  problem "the broken template's recap says$(counts failed), not failed=1 on every server"
verdicts >>"$out"
show_lists
same_lists "the broken template"

# 3. The good template again: no change on any server.
echo "== the good template again changes nothing" >>"$out"
play || { problem "the second run failed"; last_log; }
show_lists
[ "$(counts changed)" = " changed=0 changed=0 changed=0" ] ||
  problem "the second run's recap says$(counts changed), not changed=0 on every server"

# 4. Records kept with the module: the preview shows the records to be added and revoked and
# writes nothing; the first run makes exactly those changes; the second writes nothing.
keep_lists
records=(-e tolvane_manage=records -e "@$here/records.yml")
echo "== records, previewed (--check --diff)" >>"$out"
play --check --diff --forks 1 "${records[@]}" || { problem "the records' preview failed"; last_log; }
[ "$(counts changed)" = " changed=2 changed=2 changed=2" ] ||
  problem "the records' preview says$(counts changed), not changed=2 on every server"
diffs >"$work/preview.diffs"
cat "$work/preview.diffs" >>"$out"
show_lists
same_lists "the records' preview"

echo "== records, run 1 (--diff) makes the changes previewed" >>"$out"
play --diff --forks 1 "${records[@]}" || { problem "records run 1 failed"; last_log; }
show_lists
[ "$(counts changed)" = " changed=2 changed=2 changed=2" ] ||
  problem "records run 1: the recap says$(counts changed), not changed=2 on every server"
diffs >"$work/run.diffs"
# Each task of the preview read the list as it was, and each of the run the list as the task
# before left it: the records added and taken out, and the lines, must be those previewed.
changed_lines() { grep -E '^(chat[0-9]: diff|  [^ ].*:|    [-+] line [0-9]+: |    [-+]([^-+]|$))' "$1"; }
diff -u <(changed_lines "$work/preview.diffs") <(changed_lines "$work/run.diffs") ||
  problem "records run 1 added or took out other records or lines than its preview"
# The list before the run and after it, compared by the tool: Nell's record added, Kay's gone.
for s in "${servers[@]}"; do
  "$tool" diff "$work/$s.kept" "${list[$s]}" >"$work/$s.diff" 2>&1
  echo "[tolvane-list diff exit $?]" >>"$work/$s.diff"
  sed -i -e "s#$work/$s.kept#BEFORE#g" -e "s#${list[$s]}#AFTER#g" "$work/$s.diff"
done
for s in chat2 chat3; do
  cmp -s "$work/$s.diff" "$work/chat1.diff" || problem "$s: records run 1 changed the list otherwise than chat1's"
done
cat "$work/chat1.diff" >>"$out"

keep_lists
echo "== records, run 2 changes nothing" >>"$out"
play --diff --forks 1 "${records[@]}" || { problem "records run 2 failed"; last_log; }
show_lists
[ "$(counts changed)" = " changed=0 changed=0 changed=0" ] ||
  problem "records run 2: the recap says$(counts changed), not changed=0 on every server"
diffs >>"$out"
same_lists "records run 2"

# Records the tool refuses fail the task with the tool's own message: from its JSON for the
# lists of daemon and nobody, which it does not change unless told that their owner is the
# server's account; from its standard error for an address it will not write. Nell's record is
# there already. Nothing is written.
echo "== records the tool refuses fail with its message" >>"$out"
refused='{"tolvane_admins_present": [{"crc": "0x1B2C3D4E", "counter": 1200, "puidctr": 77, "puidcrc": "0x51",
          "addr": "10.20.30.*", "note": "Nell"}, {"rseed": 816, "addr": "172.16.4"}]}'
if play "${records[@]}" -e tolvane_list_owner=root -e "$refused"; then
  problem "the records the tool refuses did not fail"
fi
[ "$(counts failed)" = " failed=1 failed=1 failed=1" ] ||
  problem "the refused records' recap says$(counts failed), not failed=1 on every server"
verdicts >>"$out"
show_lists
same_lists "the refused records"

for s in "${servers[@]}"; do
  "$tool" check --as "${owner[$s]%:*}" "${list[$s]}" >"$work/$s.check" 2>&1 ||
    problem "$s: check of the list after the records runs failed"
done
for s in chat2 chat3; do
  sed "s#${list[$s]}#${list[chat1]}#" "$work/$s.check" | cmp -s - "$work/chat1.check" ||
    problem "$s: the table after the records runs differs from chat1's"
done
sed "s#$work#WORK#g" "$work/chat1.check" >>"$out"

# 5. A server whose own list holds Linus at two addresses: revoked by his seeds, both records
# go on the first run, nothing changes on the second, and he is recognised from neither.
own=$work/chat4/etc/tolvane/admins.list
mkdir -p "$(dirname "$own")"
printf '%s\n' "# chat4's own operators keep this list." '{FA} {} "10.1.*.*"   # Ada' \
  '{OOA} {} "172.16.0.*"   # Linus' '{OOA} {} "10.5.*.*"   # Linus, at home' >"$own"
echo "chat4 ansible_connection=local ansible_python_interpreter=/usr/bin/python3" \
  "tolvane_list=$own tolvane_manage=records" >>inventory.ini
revoke='{"tolvane_admins_present": [], "tolvane_admins_absent": [{"rseed": 816}]}'
for run in 1 2; do
  echo "== a revocation by seeds of a person at two addresses, run $run" >>"$out"
  play --diff --limit chat4 -e "$revoke" || { problem "chat4: the revocation's run $run failed"; last_log; }
  want=$([ $run = 1 ] && echo 1 || echo 0)
  grep -q "^chat4 : .* changed=$want .* failed=0 " "$work/recap-$runs" ||
    problem "chat4: the revocation's run $run: $(grep '^chat4 : ' "$work/recap-$runs"), not changed=$want"
  diffs >>"$out"
done
cat "$own" >>"$out"
for ip in 172.16.0.5 10.5.1.1; do
  "$tool" match "$own" --rseed 816 --ip $ip | tail -n 1 >>"$out"
  "$tool" match "$own" --rseed 816 --ip $ip >/dev/null && problem "chat4: Linus is still recognised from $ip"
done

# 6. The module alone: ansible-doc documents it; without the tool on the host, given a value the
# tool refuses, on a list that is not there, and when the previous version cannot be kept after
# the list was changed, it fails with a message of its own or the tool's in its parameters'
# names, the last with its diff; given a record the list has, it changes nothing; every key it
# returns is in its RETURN.
echo "== the module alone, case by case (--diff)" >>"$out"
library=$src/examples/ansible/library
ansible-doc -M "$library" tolvane_record >"$work/doc.txt" 2>&1 ||
  problem "ansible-doc -M $library tolvane_record failed: $(cat "$work/doc.txt")"
ansible-doc --json -M "$library" tolvane_record >"$work/doc.json" 2>"$work/doc.err" ||
  problem "ansible-doc --json of tolvane_record failed: $(cat "$work/doc.err")"
cases=$work/cases/admins.list
mkdir -p "$(dirname "$cases")"
printf '%s\n' "# The module's own cases." '{FA} {} "10.1.*.*"   # Ada' \
  '{OOA} {} "10.5.*.*"   # Linus' >"$cases"
mkdir "$cases-"
# Ansible's json callback shows every result whole, the diff of a failed task too.
ANSIBLE_LIBRARY=$library ANSIBLE_STDOUT_CALLBACK=json playbook -i localhost, -c local --diff \
  -e "ansible_python_interpreter=/usr/bin/python3 list=$cases tool=$tool" \
  -e "missing_tool=$work/no-such/tolvane-list" "$here/module-cases.yml" ||
  { problem "the module's cases did not run to their end"; last_log; }
python3 "$here/read-log.py" cases "$work/run-$runs.log" "$work" >"$work/cases.out"
grep -q "^localhost: changed=1 failures=0 ignored=4 ok=5 " "$work/cases.out" ||
  problem "the module's cases: $(head -n 1 "$work/cases.out"), not 4 failures ignored, 1 changed"
cat "$work/cases.out" >>"$out"
python3 "$here/read-log.py" keys "$work/run-$runs.log" "$work/doc.json" >"$work/keys"
[ ! -s "$work/keys" ] || problem "keys the module returns without documenting them: $(cat "$work/keys")"
cat "$cases" >>"$out"

# 7. A grant that ends two days from now; then, to a tool whose clock is three days ahead, it
# has ended, and the module takes its record out.
grant=$work/grant/admins.list
mkdir -p "$(dirname "$grant")"
printf '%s\n' "# A grant that ends." '{FA} {} "10.1.*.*"   # Ada' >"$grant"
cp "$grant" "$work/grant.first"
until=$(date -u -d '+2 days' +%Y-%m-%dT%H:%MZ) later_end=$(date -u -d '+3 days' +%Y-%m-%dT%H:%MZ)
ends=$until
later=$work/later/tolvane-list
mkdir -p "$(dirname "$later")"
printf '#!/bin/sh\nexec faketime -f +3d %q "$@"\n' "$tool" >"$later"
chmod 0755 "$later"
# Runs grant-ends.yml with the tool given, the end in ends and these arguments, and shows its
# result with the ends as UNTIL and LATER; a problem unless its changed count is the one given.
grant_run() {
  local what=$1 with=$2 want=$3
  shift 3
  echo "== a grant that ends: $what" >>"$out"
  ANSIBLE_LIBRARY=$library ANSIBLE_STDOUT_CALLBACK=json playbook -i localhost, -c local --diff "$@" \
    -e "ansible_python_interpreter=/usr/bin/python3 list=$grant tool=$with ends=$ends" \
    "$here/grant-ends.yml" || { problem "a grant that ends: $what did not run to its end"; last_log; }
  python3 "$here/read-log.py" cases "$work/run-$runs.log" "$work" >"$work/grant.out"
  grep -q "^localhost: changed=$want failures=0 " "$work/grant.out" ||
    problem "a grant that ends: $what: $(head -n 1 "$work/grant.out"), not changed=$want"
  python3 "$here/read-log.py" keys "$work/run-$runs.log" "$work/doc.json" >"$work/keys"
  [ ! -s "$work/keys" ] || problem "a grant that ends: $what: $(cat "$work/keys")"
  sed -e "s/$until/UNTIL/g" -e "s/$later_end/LATER/g" "$work/grant.out" >>"$out"
}
grant_run "added with its end" "$tool" 1
granted='{MD} {} "10.1.*.*"   # Bo until '$until
[ "$(tail -n 1 "$grant")" = "$granted" ] ||
  problem "a grant that ends: the list's last line is '$(tail -n 1 "$grant")', not '$granted'"
cp "$grant" "$work/grant.kept"
grant_run "the same end again" "$tool" 0
cmp -s "$work/grant.kept" "$grant" || problem "a grant that ends: the same end again changed the list"
# Another end: the record stays in the table, and the diff says its grant ends later.
ends=$later_end
grant_run "a day later" "$tool" 1
[ "$(tail -n 1 "$grant")" = "${granted% *} $later_end" ] ||
  problem "a grant that ends: a day later, the list's last line is '$(tail -n 1 "$grant")'"
cp "$grant" "$work/grant.kept"
grant_run "ended, previewed" "$later" 1 --check
cmp -s "$work/grant.kept" "$grant" || problem "a grant that ends: the preview of its end changed the list"
grant_run "ended, taken out" "$later" 1
cmp -s "$work/grant.first" "$grant" ||
  problem "a grant that ends: after it ended the list is not as before it was given: $(cat "$grant")"
grant_run "ended, taken out already" "$later" 0
cmp -s "$work/grant.first" "$grant" || problem "a grant that ends: taken out already, the list changed"

if [ "${UPDATE_GOLDEN:-0}" = 1 ]; then
  cp "$out" "$here/playbook.out"
  echo "updated $here/playbook.out and $here/recognise.out"
  exit 0
fi
diff -u "$here/playbook.out" "$out" || problem "what the runs show differs from playbook.out"
[ $problems -eq 0 ] || { echo "$problems problem(s)"; exit 1; }
echo "ok: $runs runs of the playbook on three servers"
