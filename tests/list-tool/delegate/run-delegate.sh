#!/usr/bin/env bash
# Delegated editing through sudo: an account allowed by a sudo rule to run only
# `tolvane-list edit LIST` gets its editor run as itself, never as root. Run as root: the test
# makes the account and the rule, and removes both at the end.
#   run-delegate.sh TOOL
# Its editors record their ids and descriptors and try to write what only root may; one
# replaces the copy with a link to /etc/shadow; others fail, die, empty the copy, or are waited
# out while sudo relays a terminate. The list must change only through the tool, installed as
# root with its mode kept, and the delegate's work must stay in a private folder of theirs,
# named, whenever it is not installed. The account, its sudo rule and the probe file are named
# anew for each run (account.sh), so that runs side by side never meet.
set -u
tool=$(realpath "$1")
# shellcheck source=tests/list-tool/delegate/account.sh
. "$(dirname "$0")/account.sh"
probe=/etc/tolvane-delegate-probe-$run
made+=("$probe")
list=$work/etc/admins.list
cp "$(dirname "$0")/../../../examples/admins.list" "$list"
chmod 640 "$list"
shadow_sum=$(sha256sum /etc/shadow)
# The rule: this one command and list, with the delegate's editor kept, as the manual says.
allow_edit "$list"

# Runs the delegate's `sudo tolvane-list edit LIST` with SUDO_EDITOR set; output in $work/out.
as_delegate() {
  su -s /bin/sh "$user" -c "SUDO_EDITOR='$work/$1' sudo -n '$tool' edit '$list'" </dev/null >"$work/out" 2>&1
}
# The private folder named in the output, checked: the delegate's, mode 0700, holding $1, and
# named by check as the delegate's kept copy of the list.
kept_in_private_folder() {
  local copy checked
  copy=$(sed -n 's/.*your edit is in \(\/var\/tmp\/tolvane-edit\.[A-Za-z0-9]*\/admins\.list\)$/\1/p' "$work/out")
  [ -n "$copy" ] || { problem "$2: the kept edit is not named: $(cat "$work/out")"; return; }
  [ "$(stat -c '%u %a' "$(dirname "$copy")")" = "$uid 700" ] ||
    problem "$2: $(dirname "$copy") is not the delegate's, mode 0700: $(stat -c '%U %a' "$(dirname "$copy")")"
  grep -q "$1" "$copy" || problem "$2: the kept copy lacks the delegate's edit"
  checked=$("$tool" check "$list" 2>&1)
  grep -qx "$list: warning: $copy, written $(date -r "$copy" '+%Y-%m-%d %H:%M'), is a copy of the list that $user edited through sudo and that was not installed (change [0-9TZ]*-[A-Za-z0-9]*): look at it with them, then remove its folder \[kept-copy\]" <<<"$checked" ||
    problem "$2: check does not name the kept copy: $checked"
  rm -rf "$(dirname "$copy")"
}
same_list() { cmp -s "$list" "$work/list.before" || problem "$1: the list changed"; }

# 1. The editor runs with the delegate's ids, groups and home only, and no descriptor of root's;
#    what only root may write stays unwritten; the edit installs, root-owned, mode kept.
editor ids.sh "
{ id -u; id -g; id -G; echo \"\$HOME\"; for fd in /proc/\$\$/fd/*; do readlink \"\$fd\"; done; } >'$work/records/ids'
echo probe >'$probe' 2>/dev/null && echo wrote-etc >>'$work/records/ids'
echo probe >>'$list' 2>/dev/null && echo wrote-list >>'$work/records/ids'
printf '{GA} {} \"10.9.*.*\"   # added by the delegate\n' >>\"\$1\""
cp "$list" "$work/list.before"
as_delegate ids.sh || problem "edit: exit $? ($(cat "$work/out"))"
{ read -r got_uid; read -r got_gid; read -r got_groups; read -r got_home; } <"$work/records/ids"
[ "$got_uid" = "$uid" ] || problem "the editor ran as uid $got_uid, not $uid"
[ "$got_gid" = "$gid" ] || problem "the editor ran as gid $got_gid, not $gid"
for g in $got_groups; do [ "$g" != 0 ] || problem "the editor had group 0 ($got_groups)"; done
[ "$got_home" = "$work/home" ] || problem "the editor's HOME is $got_home"
if grep -E "^($work/etc|/etc/shadow)|\\.lock\$" "$work/records/ids"; then problem "the editor inherited root's descriptors"; fi
grep -q '^wrote-' "$work/records/ids" && problem "the editor wrote what only root may: $(grep '^wrote-' "$work/records/ids")"
[ -e "$probe" ] && problem "$probe exists"
grep -q 'added by the delegate' "$list" || problem "the edit was not installed: $(cat "$work/out")"
[ "$(stat -c '%U %a' "$list")" = "root 640" ] || problem "the list is $(stat -c '%U %a' "$list") after the edit"
grep -q ': changed: installed' "$work/out" || problem "no 'changed: installed': $(cat "$work/out")"
[ -z "$(own_folders)" ] || problem "the private folder was not removed after the install: $(own_folders)"
echo "delegate: the editor ran as $got_uid:$got_gid ($got_groups), the edit installed"

# 2. A copy replaced with a link to /etc/shadow is refused; neither file changes.
editor link.sh 'rm -f "$1"; ln -s /etc/shadow "$1"'
cp "$list" "$work/list.before"
as_delegate link.sh; status=$?
[ "$status" = 1 ] || problem "link: exit $status"
grep -q 'is now a symbolic link to /etc/shadow: refused' "$work/out" || problem "link: $(cat "$work/out")"
same_list link
[ "$(sha256sum /etc/shadow)" = "$shadow_sum" ] || problem "/etc/shadow changed"
remove_own_folders
echo "delegate: a link to /etc/shadow is refused"

# 3. Failures keep the delegate's work in their private folder, named: an editor that exits
#    non-zero, one that is killed, one that empties the copy.
editor fails.sh 'echo "# work in progress" >>"$1"; exit 3'
editor killed.sh 'echo "# work before the crash" >>"$1"; kill -KILL $$'
editor empties.sh ': >"$1"; echo "# nothing left but this" >>"$1"'
for case in "fails.sh:work in progress:2" "killed.sh:work before the crash:2" \
            "empties.sh:nothing left but this:1"; do
  script=${case%%:*} rest=${case#*:}; text=${rest%:*} want=${rest##*:}
  cp "$list" "$work/list.before"
  as_delegate "$script"; status=$?
  [ "$status" = "$want" ] || problem "$script: exit $status, not $want: $(cat "$work/out")"
  same_list "$script"
  kept_in_private_folder "$text" "$script"
done
echo "delegate: failures keep the work in the delegate's private folder"

# 4. Told to stop while the editor runs (sudo relays the terminate), the tool waits for the
#    editor, then keeps the copy.
editor waits.sh "echo '# typed before the terminate' >>\"\$1\"; while [ ! -e '$work/records/go' ]; do sleep 0.05; done"
cp "$list" "$work/list.before"
as_delegate waits.sh &
runner=$!
for _ in $(seq 100); do [ -z "$(own_folders)" ] || break; sleep 0.05; done
sleep 0.3
pkill -TERM -f "sudo -n $tool edit $list" || problem "terminate: no sudo to signal"
sleep 0.3
touch "$work/records/go"
wait "$runner"
same_list terminate
grep -q 'told to stop (SIGTERM) while the editor ran' "$work/out" || problem "terminate: $(cat "$work/out")"
kept_in_private_folder 'typed before the terminate' terminate
echo "delegate: a terminate waits for the editor and keeps the copy"

# 5. add and remove run no program the environment names, under sudo or not.
marker=$work/records/ran
editor marker.sh "touch '$marker'"
for cmd in "add $list --rseed 7 --addr 10.7.7.7" "remove $list --rseed 7 --addr 10.7.7.7"; do
  SUDO_UID=$uid SUDO_GID=$gid SUDO_USER=$user VISUAL=$work/marker.sh EDITOR=$work/marker.sh \
    SUDO_EDITOR=$work/marker.sh "$tool" $cmd >"$work/out" 2>&1 || problem "$cmd: $(cat "$work/out")"
  [ -e "$marker" ] && problem "$cmd ran the editor"
done
echo "delegate: add and remove run no editor"

# 6. With /var/tmp full (a one-page file system of its own, in a mount namespace of this case
#    alone), the copy cannot be written whole: the tool says so and stops, and the editor never
#    shows the delegate a list with administrators missing.
editor marks.sh "touch '$marker'; echo '# saved over a short copy' >>\"\$1\""
rm -f "$marker"
cp "$list" "$work/list.before"
unshare --mount --propagation private sh -c "
  mount -t tmpfs -o size=4k tolvane-full /var/tmp || exit 9
  head -c 4096 /dev/zero >/var/tmp/filler 2>/dev/null
  su -s /bin/sh '$user' -c \"SUDO_EDITOR='$work/marks.sh' sudo -n '$tool' edit '$list'\"" \
  </dev/null >"$work/out" 2>&1; status=$?
[ "$status" = 2 ] || problem "full /var/tmp: exit $status, not 2: $(cat "$work/out")"
grep -q "^tolvane-list: cannot write /var/tmp/tolvane-edit\.[A-Za-z0-9]*/admins\.list: No space left on device$" "$work/out" ||
  problem "full /var/tmp: $(cat "$work/out")"
[ -e "$marker" ] && problem "full /var/tmp: the editor ran on a copy cut short"
same_list "full /var/tmp"
echo "delegate: a copy that cannot be written whole is never edited"

# 7. The tool reads the copy back in a child with the delegate's ids, which the delegate may
#    stop or kill: that child holds none of root's descriptors (the lock, the list, its folder),
#    so a stopped one cannot keep the list locked once the tool has ended, and a killed one is
#    named as killed. strace holds every process at its setresuid for a moment, long enough to
#    look at each of the delegate's uid; the second run kills the reader there.
editor adds.sh 'echo "# read back by the reader" >>"$1"'
reader_run() {
  rm -f "$work/records/held" "$work/records/reader"
  (
    end=$((SECONDS + 20))
    while [ "$SECONDS" -lt "$end" ]; do
      # This run's delegate's tolvane-list processes (real uid), asked for at once: a walk
      # over every process, a few programs each, outlasts the pause on a busy machine.
      for pid in $(pgrep -U "$uid" -x tolvane-list); do
        p=/proc/$pid
        fds=$(for fd in "$p"/fd/*; do readlink "$fd"; done 2>/dev/null)
        grep -q '^/var/tmp/tolvane-edit\.' <<<"$fds" || continue  # the editor's child has none
        echo "$fds" >>"$work/records/held"
        echo "${p#/proc/}" >"$work/records/reader"
        [ "$1" = kill ] && kill -KILL "${p#/proc/}"
        exit 0
      done
    done
  ) &
  local watcher=$!
  SUDO_UID=$uid SUDO_GID=$gid SUDO_USER=$user SUDO_EDITOR=$work/adds.sh \
    strace -f -qq -o /dev/null -e trace=setresuid -e inject=setresuid:delay_exit=1500000 \
    "$tool" edit "$list" </dev/null >"$work/out" 2>&1
  local status=$?
  wait "$watcher"
  return $status
}
cp "$list" "$work/list.before"
reader_run look || problem "reader: exit $?: $(cat "$work/out")"
[ -s "$work/records/reader" ] || problem "reader: no reader with the delegate's ids was seen"
if grep -E "^$work/etc(/|\$)" "$work/records/held" 2>/dev/null; then
  problem "the reader of the copy, with the delegate's ids, held root's descriptors"
fi
grep -q 'read back by the reader' "$list" || problem "reader: the edit was not installed: $(cat "$work/out")"
cp "$list" "$work/list.before"
reader_run kill; status=$?
[ "$status" = 1 ] || problem "killed reader: exit $status: $(cat "$work/out")"
grep -q ": the reader, with the ids of $user, was ended by SIGKILL; the list is unchanged \[copy-unreadable\]\$" "$work/out" ||
  problem "killed reader: $(cat "$work/out")"
same_list "killed reader"
remove_own_folders
echo "delegate: the reader of the copy holds none of root's descriptors, and a killed one is named"
exit $fail
