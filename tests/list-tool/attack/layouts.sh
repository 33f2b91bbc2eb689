#!/usr/bin/env bash
# One table of layouts drives both `check` and the changes (add, remove, edit, undo). For each
# layout, built afresh in a folder of root's for every command (for undo, where the changes are
# installed, the list's line of Bob's record first taken out by the tool, which undo puts back;
# where they are refused, a previous version of root's beside the list, unless the layout put one
# there):
#   - check's guard errors (FILE: error: MESSAGE [code]) are exactly the errors each change
#     gives when it refuses, line for line and word for word, and there are some exactly when
#     the change is refused (exit 1);
#   - a refused change writes nothing: every name, inode, mode, owner, size, time and byte of
#     the layout is as it was, and the editor never starts;
#   - an installed change writes the list, its previous version NAME-, the lock and the journal
#     beside it, and nothing else; the list keeps its owner, group, mode and access list; the change prints
#     the same guard warnings as check; nothing a layout planted (as nobody) is installed or
#     trusted;
#   - check writes nothing either.
# Run as root, with the unprivileged account nobody as the other account; `plant FOLDER` in a
# setup puts there, as nobody, a previous version, a lock and a copy named as a change names its
# files, each holding nobody's own record.
#   layouts.sh LAUNCH TOOL       (LAUNCH: the build's launcher, which starts the tool)
set -u
launch=$1 tool=$(realpath "$2")
if [ "$(id -u)" != 0 ] || ! id -u nobody >/dev/null 2>&1; then
  echo "layouts: needs root and the account nobody; skipped"
  exit 77
fi
work=$(mktemp -d /tmp/tolvane-layouts.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
fail=0
problem() {
  echo "layouts: $*"
  fail=$((fail + 1))
}

# The layouts. NAME | SETUP (bash, in a fresh folder of root's; `put FILE` writes the list
# there, root's, mode 0644) | the list's PATH as given | --as ACCOUNT | what each change does:
# `refused CODE...` (the codes of its errors, in order) or `installed` | what check says about
# the file as a whole besides the guard's errors, as codes.
table=$(
  cat <<'EOF'
foreign-sticky-folder | mkdir -p p/drop && put p/drop/admins.list && chown nobody p/drop && chmod 1755 p/drop | p/drop/admins.list | | refused folder-writable |
root-folder-below-users-folder | mkdir -p b/etc && put b/etc/admins.list && chown nobody b | b/etc/admins.list | | refused folder-writable |
world-writable-folder | mkdir box && put box/admins.list && chmod 777 box | box/admins.list | | refused folder-writable |
link-to-folder-in-users-folder | mkdir -p g/pub g/safe && put g/safe/admins.list && ln -s ../safe g/pub/etc && chown nobody g/pub | g/pub/etc/admins.list | | refused folder-writable | symlink
users-link-in-sticky-root-folder | mkdir -p g/pub g/safe && put g/safe/admins.list && chmod 1777 g/pub && ln -s ../safe g/pub/etc && chown -h nobody g/pub/etc | g/pub/etc/admins.list | | refused link-owner | symlink
chain-of-links-through-users-folder | mkdir c u safe && put safe/admins.list && ln -s ../u/l2 c/l1 && ln -s l3 u/l2 && ln -s ../safe/admins.list u/l3 && chown nobody u | c/l1 | | refused folder-writable | symlink
acl-write-grant | put admins.list && setfacl -m u:nobody:rw admins.list | admins.list | | refused acl-writable |
list-of-another-account | put admins.list && echo '{GA} {} "10.66.6.6"' >>admins.list && chown nobody admins.list && chmod 666 admins.list | admins.list | | refused list-writable list-owner |
list-of-the-server-account-without-as | put admins.list && chown nobody admins.list | admins.list | | refused list-owner |
acl-denial-as-nobody | put admins.list && setfacl -m u:nobody:--- admins.list | admins.list | nobody | installed | unreadable
root-folders | mkdir -p etc/tolvane && put etc/tolvane/admins.list | etc/tolvane/admins.list | | installed |
sticky-root-folder-with-root-subfolder | mkdir -p tmp/tolvane && chmod 1777 tmp && put tmp/tolvane/admins.list | tmp/tolvane/admins.list | | installed |
root-list-in-sticky-root-folder | mkdir tmp && chmod 1777 tmp && put tmp/admins.list | tmp/admins.list | | refused folder-writable |
sticky-root-folder-with-planted-files | mkdir tmp && chmod 1777 tmp && put tmp/admins.list && plant tmp | tmp/admins.list | | refused folder-writable | previous-owner
link-in-root-folder-to-another-root-folder | mkdir a b && put b/admins.list && ln -s ../b/admins.list a/admins.list | a/admins.list | | installed | symlink
chain-of-links-in-root-folders | mkdir a b && put b/admins.list && ln -s ../b/l2 a/l1 && ln -s admins.list b/l2 | a/l1 | | installed | symlink
root-folder-with-default-access-list | mkdir d && setfacl -d -m u:nobody:rw d && put d/admins.list && setfacl -b d/admins.list | d/admins.list | | installed |
server-account-owns-list | put admins.list && chown nobody:nogroup admins.list | admins.list | nobody | installed |
server-account-by-id-owns-list | put admins.list && chown nobody:nogroup admins.list | admins.list | 65534 | installed |
EOF
)

# The list every layout starts from: two records, Bob's on line 3.
put() {
  printf '%s\n' '# the layout'"'"'s list' '{FA} {} "10.1.*.*"   # Ada' '{GA} {} "10.2.*.*"   # Bob' >"$1"
  chmod 644 "$1"
}

# What nobody puts beside the list in a folder it can write to: NAME-, the lock, and a pair of
# copies that looks like an install cut short after the exchange (whose .NAME-.S the next change
# would make NAME-), each of its own.
plant() {
  setpriv --reuid=65534 --regid=65534 --clear-groups sh -c '
    planted="{FA} {} \"10.66.6.6\"   # nobody, from anywhere"
    echo "$planted" >"$1/admins.list-" && : >"$1/.admins.list.lock" &&
      echo "$planted" >"$1/.admins.list.Ab12Cd" && echo "$planted" >"$1/.admins.list-.Ab12Cd"' \
    sh "$1"
}

cat >"$work/editor.sh" <<EOF
#!/bin/sh
# Root's editor: adds a record, and notes that it ran.
echo ran >>"$work/edited"
echo '{HA} {} "10.3.*.*"   # Cy' >>"\$1"
EOF
chmod 755 "$work/editor.sh"

# Everything about a layout's folder that a write would change.
snapshot() {
  find "$1" -printf '%p|%y|%i|%m|%u|%g|%n|%s|%T@|%C@|%l\n' | sort
  find "$1" -type f -exec sha256sum {} + | sort
  getfacl -R -p -s "$1" 2>/dev/null
}

# Lines of OUT that speak of the file as a whole with this SEVERITY, and one of the guard's
# codes, or any code when ALL.
about() {
  local out=$1 path=$2 severity=$3 all=${4:-} line
  while IFS= read -r line; do
    [[ $line == "$path: $severity: "* ]] || continue
    [ -n "$all" ] && { echo "$line"; continue; }
    case $line in
      *'[folder-writable]' | *'[link-owner]' | *'[list-owner]' | *'[acl-writable]' | \
        *'[list-writable]' | *'[symlink]') echo "$line" ;;
    esac
  done <<<"$out"
}

codes() { grep -o '\[[a-z-]*\]$' | tr -d '[]' | tr '\n' ' ' | sed 's/ $//'; }

# Builds the layout NAME afresh, in the same folder each time, so that messages naming its
# folders are the same for check and every change; prints that folder.
build() {
  local dir=$work/$1
  rm -rf "$dir"
  mkdir -m 755 "$dir" && (cd "$dir" && eval "$setup") || { problem "$1: its setup failed"; return 1; }
  echo "$dir"
}

while IFS='|' read -r name setup path as change says; do
  name=$(xargs <<<"$name") path=$(xargs <<<"$path") as=$(xargs <<<"$as")
  change=$(xargs <<<"$change") says=$(xargs <<<"$says")
  as_option=()
  [ -n "$as" ] && as_option=(--as "$as")

  # check: what it says about the file as a whole, and that it writes nothing.
  dir=$(build "$name") || continue
  before=$(snapshot "$dir")
  check_out=$(cd "$dir" && "$launch" "$tool" check "${as_option[@]}" "$path" 2>&1)
  check_status=$?
  [ "$(snapshot "$dir")" = "$before" ] || problem "$name: check wrote something"
  guard_errors=$(about "$check_out" "$path" error)
  guard_warnings=$(about "$check_out" "$path" warning)
  whole=$( (about "$check_out" "$path" error all; about "$check_out" "$path" warning all) | codes)
  if [ "$change" = installed ]; then
    expected=$(echo "$says")
  else
    expected=$(echo "${change#refused } $says" | xargs)
  fi
  [ "$(tr ' ' '\n' <<<"$whole" | sort | xargs)" = "$(tr ' ' '\n' <<<"$expected" | sort | xargs)" ] ||
    problem "$name: check says [$whole], not [$expected]: $check_out"
  [ "$check_status" = "$([ -n "$whole" ] && echo 1 || echo 0)" ] ||
    problem "$name: check exits with $check_status: $check_out"

  for command in add remove edit undo; do
    dir=$(build "$name") || continue
    live=$(cd "$dir" && readlink -f "$path")
    if [ "$command" = undo ] && [ "$change" = installed ]; then
      # undo takes only the version a change of the tool replaced: Bob's line taken out by one.
      (cd "$dir" && "$launch" "$tool" remove "$path" 3 "${as_option[@]}" >/dev/null 2>&1) ||
        problem "$name: undo: the change before it failed"
    elif [ "$command" = undo ] && [ ! -e "$live-" ] && [ ! -L "$live-" ]; then
      grep -v Bob "$live" >"$live-" && chmod 644 "$live-"
    fi
    shape=$(stat -c '%U:%G %a' "$live")
    acl=$(getfacl -p -c "$live" 2>/dev/null)
    before=$(snapshot "$dir")
    rm -f "$work/edited"
    case $command in
      add) args=(add "$path" --rseed 1234 --addr 10.9.9.9) ;;
      remove) args=(remove "$path" 3) ;;
      edit) args=(edit "$path") ;;
      undo) args=(undo "$path") ;;
    esac
    out=$(cd "$dir" && VISUAL=$work/editor.sh "$launch" "$tool" "${args[@]}" "${as_option[@]}" \
      2>"$work/stderr" </dev/null)
    status=$?
    err=$(<"$work/stderr")
    what="$name: $command"
    if [ "$change" != installed ]; then
      # Refused with check's guard errors, word for word, and nothing written.
      [ "$status" = 1 ] || problem "$what: exit $status, not 1 (refused): $out $err"
      [ "$(about "$err" "$path" error all)" = "$guard_errors" ] ||
        problem "$what: its errors differ from check's guard errors:"$'\n'"$err"$'\n'"check:"$'\n'"$guard_errors"
      [ "$(about "$err" "$path" error all | codes)" = "${change#refused }" ] ||
        problem "$what: refused with [$(about "$err" "$path" error all | codes)], not [${change#refused }]"
      [ "$(snapshot "$dir")" = "$before" ] ||
        problem "$what: refused, but wrote:"$'\n'"$(diff <(echo "$before") <(snapshot "$dir"))"
      [ ! -e "$work/edited" ] || problem "$what: the editor ran before the refusal"
      continue
    fi
    # Installed: check's guard warnings said again, the list changed as asked with its owner,
    # mode and access list, and nothing written but the list, NAME-, the lock and the journal.
    [ "$status" = 0 ] && [[ $out == *"changed: installed"* ]] ||
      problem "$what: exit $status, not installed: $out $err"
    [ -z "$guard_errors" ] || problem "$what: installed although check gives guard errors"
    [ "$(about "$out" "$path" warning)" = "$guard_warnings" ] ||
      problem "$what: its warnings differ from check's:"$'\n'"$out"$'\n'"check:"$'\n'"$guard_warnings"
    case $command in
      add) grep -q '"10.9.9.9"' "$live" || problem "$what: the new record is not in $live" ;;
      remove) ! grep -q 'Bob' "$live" || problem "$what: Bob's record is still in $live" ;;
      undo) grep -q 'Bob' "$live" || problem "$what: Bob's record is not back in $live" ;;
      edit) grep -q '# Cy' "$live" || problem "$what: the edit is not in $live" ;;
    esac
    [ "$(stat -c '%U:%G %a' "$live")" = "$shape" ] ||
      problem "$what: the list was $shape, now $(stat -c '%U:%G %a' "$live")"
    [ "$(getfacl -p -c "$live" 2>/dev/null)" = "$acl" ] || problem "$what: the access list changed"
    folder=$(dirname "$live")
    written=$(diff <(echo "$before") <(snapshot "$dir") | sed -n 's/^[<>] \([^|]*\)|.*/\1/p' |
      sort -u | grep -v -x -F -e "$live" -e "$live-" -e "$folder/.$(basename "$live").lock" \
        -e "$folder/.$(basename "$live").journal" -e "$folder")
    [ -z "$written" ] || problem "$what: wrote besides the list: $written"
  done
  printf 'layouts: %-44s check [%s]; add, remove, edit, undo %s\n' "$name" "$whole" "$change"
done <<<"$table"
[ "$fail" = 0 ] || { echo "layouts: $fail problem(s)"; exit 1; }
