#!/usr/bin/env bash
# The attacker's trial of tolvane-list's changes. Root runs `add` and `edit` RUNS times each
# (default 30) in four layouts, and `undo` too in the last, while ATTACKER (attacker.cpp), as the
# unprivileged account
# (uid 65534), makes every move it can beside the list: the list's name swapped for a slow chain
# of links to a copy of /usr/bin/passwd or for its own file, the folder swapped the same way,
# the lock pre-created as a hard link, a FIFO, a folder or a chain of links, and root's copies
# renamed over by its own set-uid program. Root itself also pre-creates the lock as a hard link to a
# file of root's now and then, as an attacker could where hard links are not protected.
#   sticky  WORK/A/admins.list, A the attacker's sticky folder: every change refused
#   below   WORK/B/etc/admins.list, etc root's 0755 folder, B the attacker's: every change refused
#   safe    WORK/C/etc/admins.list, root's folders all the way: every change installed
#   sticky-root  WORK/D/admins.list, D root's sticky folder that anyone can write (1777, as /tmp
#           is), where the attacker plants NAME-, the lock and copies of its own beside root's
#           list: every change and every undo refused, and check, run after each, reports the
#           folder, and prints no byte the attacker planted raw
# A refusal must name the folder the attacker owns, or the list's folder that anyone can write
# ([folder-writable], exit 1), and come before anything is written: no lock, no copy, no NAME-
# by root, no editor started, the list's file and bytes as they were. After every run:
# the bait files (a copy of /usr/bin/passwd as a file and as a folder's admins.list, a file of
# root's and one of the attacker's that the lock can be linked to, /usr/bin/passwd itself) are
# byte for byte and mode for mode as they were, no file of root's has appeared where the
# attacker can reach, and no set-id file of root's exists but the bait; an installed list is
# root's, mode 0644, one link, and holds the new record. Prints the counts it saw.
#   race.sh LAUNCH TOOL ATTACKER        TOLVANE_ATTACK_RUNS=N changes the number of runs.
# LAUNCH is the build's launcher (tolvane-launch), which starts the tool.
set -u
launch=$1 tool=$(realpath "$2") attacker_program=$(realpath "$3")
# 30 runs of each change in each layout. The one fault this race found (a guard error hidden by
# the walk's trouble when the attacker renamed B/etc away: exit 2 instead of the refusal), put
# back into the tool, failed add in 20 of its first 75 runs (first at run 5) and edit in 20 of
# its first 42 (first at run 2). Through 30 runs of both it slips with a chance of about
# (55/75 * 22/42)^30, below one in a million million; a fault as frequent in add alone, with
# (55/75)^30, about one in 11,000. TOLVANE_ATTACK_RUNS=N runs longer, to hunt for rarer ones.
runs=${TOLVANE_ATTACK_RUNS:-30}
if [ "$(id -u)" != 0 ] || ! id -u nobody >/dev/null 2>&1; then
  echo "attack: needs root and the account nobody; skipped"
  exit 77
fi
work=$(mktemp -d /tmp/tolvane-attack.XXXXXX)
attacker=
cleanup() {
  if [ -n "$attacker" ]; then kill -TERM "$attacker" 2>/dev/null && wait "$attacker"; fi
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
fail=0
problem() {
  echo "attack: $*"
  fail=$((fail + 1))
  [ "$fail" -lt 20 ] || { echo "attack: too many problems, stopping"; exit 1; }
}

# The layouts, the bait, the attacker's own things and root's editor.
cp "$attacker_program" "$work/attacker" && chmod 755 "$work/attacker"
mkdir -m 755 "$work/bait" "$work/baitetc" "$work/mine" "$work/A" "$work/B" "$work/C"
mkdir -m 1777 "$work/D"
cp /usr/bin/passwd "$work/bait/passwd" && chmod 4755 "$work/bait/passwd"
cp /usr/bin/passwd "$work/baitetc/admins.list" && chmod 4755 "$work/baitetc/admins.list"
echo "root's precious file: a lock linked to it must leave it as it is" >"$work/bait/precious"
echo "the attacker's precious file" >"$work/mine/precious"
printf '#!/bin/sh\necho "the attacker runs as $(id -un)"\n' >"$work/mine/prog"
echo '{FA} {} "10.66.6.6"   # the attacker, from anywhere it likes' >"$work/mine/own.list"
chmod 4755 "$work/mine/prog" && chmod 666 "$work/mine/own.list"
chown -R nobody:nogroup "$work/mine" "$work/A" "$work/B"
chmod 1755 "$work/A"
mkdir -m 755 "$work/B/etc" "$work/C/etc"
original=$work/original.list
cat >"$original" <<'EOF'
# Tolvane: the server's registered host administrators.
{FA} {} "10.1.*.*"              # Ada
{MEHF} {BC} "192.168.7.21"      # Grace
EOF
for list in "$work/A/admins.list" "$work/B/etc/admins.list" "$work/C/etc/admins.list" \
  "$work/D/admins.list"; do
  cp "$original" "$list" && chmod 644 "$list"
done
cat >"$work/editor.sh" <<EOF
#!/bin/sh
# Root's editor: adds the record of run \$RUN to the copy.
echo "\$RUN" >>"$work/editor.log"
"$launch" "$tool" encode --rseed "\$RUN" --addr "10.77.\$((RUN / 250)).\$((RUN % 250))" >>"\$1"
EOF
chmod 755 "$work/editor.sh"

# The bait as it must stay: bytes, mode, owner, inode and the names in its folders.
bait() {
  find "$work/bait" "$work/baitetc" "$work/mine/precious" /usr/bin/passwd \
    -printf '%p %m %u:%g %i\n' -type f -exec sha256sum {} +
}
bait_before=$(bait)
# What root owns where the attacker can reach (its folders and everything in them), as
# "R INODE", and every set-id file of root's, as "S PATH".
rooted() {
  find "$work" -user root -perm /6000 -printf 'S %p\n' -o -user root \
    \( -path "$work/A*" -o -path "$work/B*" -o -path "$work/D*" -o -path "$work/mine*" \) \
    -printf 'R %i\n' \
    2>/dev/null | sort -u  # (a file the attacker renames meanwhile may be met twice)
}
# Before the attacker starts: the lists and the folder etc that root put there, and the bait.
rooted_before=$(rooted)
precious=$(stat -c %i "$work/bait/precious")

# What is wrong after a run, if anything.
after_run() {
  local what=$1 now ino
  [ "$(bait)" = "$bait_before" ] || problem "$what: the bait changed: $(diff <(echo "$bait_before") <(bait))"
  now=$(rooted)
  if [ "$now" != "$rooted_before" ]; then
    now=$(diff <(echo "$rooted_before") <(echo "$now") | grep '^>' | grep -v "^> R $precious\$")
    for ino in $(sed -n 's/^> R //p' <<<"$now"); do now="$now $(find "$work" -inum "$ino")"; done
    [ -z "$now" ] || problem "$what: root wrote where the attacker can reach, or made a set-id file: $now"
  fi
}

# Whether the output is the refusal an unsafe layout must give: exit status 1, the folder the
# attacker owns (or, in sticky-root, the list's folder anyone can write) named, and every error
# one of the guard's; the codes go to `codes`.
refused_by_guard() {
  local out=$1 status=$2 line named=0
  [ "$status" = 1 ] || return 1
  while IFS= read -r line; do
    [[ $line == "$list: error: "* ]] || continue
    [[ $line =~ \[([a-z-]+)\]$ ]] || return 1
    case ${BASH_REMATCH[1]} in
      folder-writable | link-owner | list-owner | list-writable) ;;
      *) return 1 ;;
    esac
    codes="$codes ${BASH_REMATCH[1]}"
    [[ $line == "$list: error: the folder $work/"[AB]" on the list's path can be written by its owner nobody"* ]] && named=1
    [[ $line == "$list: error: the folder $work/D, which holds the list, can be written by everyone:"* ]] && named=1
  done <<<"$out"
  [ "$named" = 1 ]
}

# Whether the change installed the record of run RUN: exit status 0, root's list of mode 0644
# with one link holding it, and nothing left beside it.
installed_well() {
  local out=$1 status=$2 shape
  [ "$status" = 0 ] && [[ $out == *"changed: installed"* ]] || return 1
  shape=$(stat -c '%U:%G %a %h %F' "$list")
  [ "$shape" = "root:root 644 1 regular file" ] || return 1
  [[ $(<"$list") == *"\"10.77.$((run / 250 % 250)).$((run % 250))\""* ]] || return 1
  [ -z "$(find "$work/C/etc" -name '.admins.list.??????' -o -name '.admins.list-.??????')" ]
}

# In sticky-root, after a run: root's list is the very file it was, with its bytes, and check
# reports the folder (exit 1) and prints nothing the attacker planted raw (a control byte).
list_untouched() {
  local what=$1 out status
  [ "$(stat -c '%i %U:%G %a %h' "$list")" = "$list_shape" ] && cmp -s "$original" "$list" ||
    problem "$what: root's list changed: $(stat -c '%i %U:%G %a %h' "$list")"
  out=$("$launch" "$tool" check "$list" 2>&1)
  status=$?
  [ "$status" = 1 ] && [[ $out == *"$list: error: the folder $work/D, which holds the list, can be written by everyone:"*"[folder-writable]"* ]] ||
    problem "$what: check does not report the folder (exit $status): $out"
  ! LC_ALL=C grep -q '[[:cntrl:]]' <<<"${out//$'\t'/ }" || problem "$what: check printed a control byte: $out"
  checks=$((checks + 1))
}

declare -A summary=()
for layout in sticky below safe sticky-root; do
  case $layout in
    sticky) list=$work/A/admins.list ;;
    below) list=$work/B/etc/admins.list ;;
    safe) list=$work/C/etc/admins.list ;;
    sticky-root) list=$work/D/admins.list ;;
  esac
  list_shape=$(stat -c '%i %U:%G %a %h' "$list")
  checks=0
  commands="add edit"
  [ "$layout" = sticky-root ] && commands="add edit undo"
  : >"$work/editor.log"
  rm -f "$work/mine/counts"
  setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$work/attacker" "$layout" "$work" "$work/mine/counts" &
  attacker=$!
  for command in $commands; do
    refused=0 installed=0 other=0 codes=""
    for ((i = 1; i <= runs; i++)); do
      run=$((i + 1000))
      [ "$command" = edit ] && run=$((run + 30000))
      [ "$command" = undo ] && run=$((run + 60000))
      what="$layout $command run $i"
      # Now and then a file of root's stands at the lock's name, hard linked.
      linked=0
      if [ "$layout" = sticky ] && ((i % 4 == 0)); then
        ln "$work/bait/precious" "$work/A/.admins.list.lock" 2>/dev/null && linked=1
      fi
      if [ "$command" = add ]; then
        out=$(cd "$work" && timeout 20 "$launch" "$tool" add "$list" --rseed "$run" \
          --addr "10.77.$((run / 250 % 250)).$((run % 250))" 2>&1 </dev/null)
      elif [ "$command" = undo ]; then
        out=$(cd "$work" && timeout 20 "$launch" "$tool" undo "$list" 2>&1 </dev/null)
      else
        out=$(cd "$work" && RUN=$run VISUAL=$work/editor.sh timeout 20 "$launch" "$tool" edit "$list" \
          2>&1 </dev/null)
      fi
      status=$?
      if [ "$linked" = 1 ] && [ "$work/A/.admins.list.lock" -ef "$work/bait/precious" ]; then
        rm -f "$work/A/.admins.list.lock" 2>/dev/null
      fi
      after_run "$what"
      [ "$layout" = sticky-root ] && list_untouched "$what"
      if [ "$layout" != safe ]; then
        if refused_by_guard "$out" "$status"; then
          refused=$((refused + 1))
        else
          other=$((other + 1))
          problem "$what: not refused as it must be (exit $status): $out"
        fi
        continue
      fi
      if installed_well "$out" "$status"; then
        installed=$((installed + 1))
      else
        other=$((other + 1))
        problem "$what: not installed as it must be (exit $status, $(stat -c '%U:%G %a %h' "$list")): $out"
      fi
      cp "$original" "$work/C/etc/reset" && chmod 644 "$work/C/etc/reset" &&
        mv "$work/C/etc/reset" "$list"
    done
    line="$runs runs: $installed installed, $refused refused"
    if [ -n "$codes" ]; then
      line="$line (errors given: $(tr ' ' '\n' <<<"$codes" | grep . | sort | uniq -c |
        awk '{printf "%s%s %s", sep, $2, $1; sep=", "}'))"
    fi
    summary[$command]="$line, $other otherwise"
  done
  kill -TERM "$attacker" && wait "$attacker"
  attacker=
  edits=$(wc -l <"$work/editor.log")
  if [ "$layout" = safe ]; then
    [ "$edits" = "$runs" ] || problem "$layout: the editor ran $edits times for $runs edits"
  else
    [ "$edits" = 0 ] || problem "$layout: the editor ran $edits times: the edit was not refused first"
  fi
  echo "attack: $layout ($list)"
  echo "  add:  ${summary[add]}"
  echo "  edit: ${summary[edit]}"
  [ "$layout" = sticky-root ] && echo "  undo: ${summary[undo]}" &&
    echo "  check after each run: $checks, each reporting the folder"
  echo "  the attacker's moves (tried/made): $(awk '{printf "%s%s %d/%d", sep, $1, $2, $3; sep=", "}' "$work/mine/counts")"
  if [ -s "$work/mine/counts.seen" ]; then
    problem "$layout: the attacker found files of root's in its folders: $(sort -u "$work/mine/counts.seen")"
  fi
  rm -f "$work/mine/counts.seen"
done
[ "$fail" = 0 ] || { echo "attack: $fail problem(s)"; exit 1; }
echo "attack: no change was turned against root"
