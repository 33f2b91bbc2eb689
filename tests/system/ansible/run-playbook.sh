#!/usr/bin/env bash
# Runs examples/ansible/tolvane.yml with ansible-playbook against three local servers, each with
# its own folder, list and owner (root, daemon, nobody), as a network's operators would:
#   1. the first run installs the list on all three, with its owner and mode, and the stand-in
#      host with the real plug-in recognises the network's administrator from each list;
#   2. a broken template is refused by the validate step on all three: every live list stays
#      byte for byte as it was, and nothing is left beside it;
#   3. the good template again changes nothing on any server;
#   4. records kept with tolvane-list add and remove: changed on the first run, not the second.
# What the runs show (play recaps, owners and modes, folders, validate's verdicts, the tables)
# must equal playbook.out; each server's host transcript must equal recognise.out.
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
# Runs the example playbook with these extra arguments; its whole output is kept in run-N.log,
# its play recap (spaces squeezed) in recap-N and the transcript, and its exit status returned.
runs=0
play() {
  runs=$((runs + 1))
  local log=$work/run-$runs.log rc
  ansible-playbook -i inventory.ini -e "tolvane_list_tool=$tool" "$@" \
    "$src/examples/ansible/tolvane.yml" >"$log" 2>&1
  rc=$?
  sed -n '/^PLAY RECAP/,$p' "$log" | sed '/^$/d' | tr -s ' ' >"$work/recap-$runs"
  cat "$work/recap-$runs" >>"$out"
  echo "[ansible-playbook exit $rc]" >>"$out"
  return $rc
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

# 1. The first run installs the list on every server.
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

# 2. A broken template: validate refuses it everywhere, and the live lists stay as they were.
echo "== a broken template is refused by validate" >>"$out"
declare -A before
for s in "${servers[@]}"; do
  cp "${list[$s]}" "$work/$s.before"
  before[$s]=$(stat -c '%U:%G %a %i %Y' "${list[$s]}")
done
if play -e "tolvane_list_template=$here/broken.list.j2"; then
  problem "the broken template was not refused"
fi
[ "$(counts failed)" = " failed=1 failed=1 failed=1" ] ||
  problem "the broken template's recap says$(counts failed), not failed=1 on every server"
# Each server's verdict, in server order: the task's message, the check's exit status, and the
# errors it reported, the candidate's temporary path shown as CANDIDATE.
python3 - "$work/run-$runs.log" >>"$out" <<'EOF'
import json, re, sys
verdicts = {}
for line in open(sys.argv[1], encoding="utf-8"):
    m = re.match(r"fatal: \[(\w+)\]: FAILED! => (\{.*\})$", line)
    if m:
        r = json.loads(m.group(2))
        errors = [re.sub(r"^\S*/source:", "CANDIDATE:", e) for e in r.get("stdout_lines", [])
                  if ": error: " in e]
        verdicts[m.group(1)] = [f"{m.group(1)}: {r.get('msg')}, exit {r.get('exit_status')}"] + \
            ["  " + e for e in errors]
for host in sorted(verdicts):
    print("\n".join(verdicts[host]))
EOF
show_lists
for s in "${servers[@]}"; do
  cmp -s "$work/$s.before" "${list[$s]}" || problem "$s: the live list changed"
  [ "${before[$s]}" = "$(stat -c '%U:%G %a %i %Y' "${list[$s]}")" ] ||
    problem "$s: the live list's owner, mode, inode or time changed"
done

# 3. The good template again: no change on any server.
echo "== the good template again changes nothing" >>"$out"
play || { problem "the second run failed"; last_log; }
show_lists
[ "$(counts changed)" = " changed=0 changed=0 changed=0" ] ||
  problem "the second run's recap says$(counts changed), not changed=0 on every server"

# 4. Records kept with add and remove: a change on the first run only; the second writes nothing.
for n in 1 2; do
  echo "== records, run $n" >>"$out"
  play -e tolvane_manage=records -e "@$here/records.yml" || { problem "records run $n failed"; last_log; }
  show_lists
  if [ "$n" = 1 ]; then want='changed=2'; else want='changed=0'; fi
  [ "$(counts changed)" = " $want $want $want" ] ||
    problem "records run $n: the recap says$(counts changed), not $want on every server"
  for s in "${servers[@]}"; do
    now=$(stat -c '%U:%G %a %i %Y' "${list[$s]}")$(md5sum <"${list[$s]}")
    [ "$n" = 1 ] || [ "$now" = "${before[$s]}" ] || problem "$s: the second records run wrote the list"
    before[$s]=$now
  done
done
for s in "${servers[@]}"; do
  "$tool" check --as "${owner[$s]%:*}" "${list[$s]}" >"$work/$s.check" 2>&1 ||
    problem "$s: check of the list after the records runs failed"
done
for s in chat2 chat3; do
  sed "s#${list[$s]}#${list[chat1]}#" "$work/$s.check" | cmp -s - "$work/chat1.check" ||
    problem "$s: the table after the records runs differs from chat1's"
done
sed "s#$work#WORK#g" "$work/chat1.check" >>"$out"

if [ "${UPDATE_GOLDEN:-0}" = 1 ]; then
  cp "$out" "$here/playbook.out"
  echo "updated $here/playbook.out and $here/recognise.out"
  exit 0
fi
diff -u "$here/playbook.out" "$out" || problem "what the runs show differs from playbook.out"
[ $problems -eq 0 ] || { echo "$problems problem(s)"; exit 1; }
echo "ok: $runs runs of the playbook on three servers"
