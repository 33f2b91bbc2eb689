# shellcheck shell=bash disable=SC2034,SC2154 # sourced: `tool` is set before, what it sets is used after
# What the delegate tests share, sourced once `tool` names the tool: as root, a system account
# named anew for this run (tolvane-dg-RUN, its home in the work folder), a work folder of the
# run's own ($work, mktemp) holding etc/, records/ (the delegate's) and home/, a sudo rule file
# for the account, and at exit the removal of all of these, of the account's private folders in
# /var/tmp and of every path the test put in `made`. Without root it says SKIPPED (exit 77).
#   allow_edit LIST...   the rule: `TOOL edit LIST` for each list, the delegate's editor kept
#   editor NAME BODY     a shell script $work/NAME, BODY its commands, that the delegate can run
#   problem TEXT...      says what went wrong; the test goes on, and fails at the end ($fail)
#   own_folders          the private folders of this run's delegate in /var/tmp
# The private folders looked at and removed are only those of this run's account (the tool names
# them /var/tmp/tolvane-edit.*, like any delegate's kept edits on the machine, which stay as
# they are), so that runs side by side never meet.
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the delegate tests make an account and a sudo rule, which needs root"
  exit 77
fi
command -v sudo >/dev/null || { echo "delegate: sudo is missing (scripts/setup installs it)"; exit 1; }
while :; do
  run=$(od -An -tx1 -N4 /dev/urandom | tr -d ' \n')
  user=tolvane-dg-$run
  id -u "$user" >/dev/null 2>&1 || [ -e "/etc/sudoers.d/tolvane-test-$run" ] || break
done
rule=/etc/sudoers.d/tolvane-test-$run
work=$(mktemp -d)
made=()
fail=0
uid=
problem() { echo "delegate: $*"; fail=1; }
own_folders() { find /var/tmp -maxdepth 1 -name 'tolvane-edit.*' -uid "$uid" 2>/dev/null; }
remove_own_folders() { own_folders | while read -r d; do rm -rf "$d"; done; }
# Removes what this run made: its folder, rule and paths, and once its account exists, the
# account's private folders and the account.
cleanup() {
  rm -f "$rule"
  rm -rf "$work"
  [ "${#made[@]}" -eq 0 ] || rm -rf "${made[@]}"
  [ -z "$uid" ] || { remove_own_folders; userdel "$user" 2>/dev/null; }
}
trap cleanup EXIT
useradd --system --no-create-home --home-dir "$work/home" --shell /bin/sh "$user" || { echo "delegate: useradd failed"; exit 1; }
uid=$(id -u "$user") gid=$(id -g "$user")
mkdir -p "$work/etc" "$work/records" "$work/home"
chmod 755 "$work" "$work/etc"
chown "$user" "$work/records" "$work/home"

allow_edit() {
  local list
  : >"$rule"
  for list in "$@"; do echo "$user ALL=(root) NOPASSWD: $tool edit $list" >>"$rule"; done
  echo "Defaults!$tool env_keep += \"SUDO_EDITOR VISUAL EDITOR\"" >>"$rule"
  chmod 440 "$rule"
  visudo -cf "$rule" >/dev/null || { echo "delegate: the sudo rule does not parse"; exit 1; }
}

editor() { printf '#!/bin/sh\n%s\n' "$2" >"$work/$1"; chmod 755 "$work/$1"; }
