#!/usr/bin/env bash
# Folders planted in /var/tmp to pass for a delegate's kept copies. A list in a folder of root's
# whose journal names one kept copy, nobody's, in /var/tmp; `check LIST` and `check --json LIST`
# run and kept. Then nobody plants 20,000 folders /var/tmp/tolvane-edit.XXXXXX, each mode 0700
# holding a plain file of the list's name, none of them named by the journal: some exactly as
# the tool leaves a copy (its owner, modes, bytes and time), some marked with the list's path
# in a user attribute, some with links to the kept copy, to its folder and to /etc/shadow, some
# with a second name or with bytes a terminal would act on. Then:
#   - both checks print byte for byte what they printed before, on each stream, and exit with
#     the same status: the kept copy, and nothing planted;
#   - check never lists /var/tmp (no getdents64 on it, under strace).
# It all happens in a mount namespace of its own, whose /var/tmp is a fresh tmpfs, so that the
# machine's /var/tmp is never touched and two runs side by side never meet. Run as root, with
# the unprivileged account nobody as the delegate and the planter.
#   planted-copies.sh LAUNCH TOOL       (LAUNCH: the build's launcher, which starts the tool)
set -u
launch=$(realpath "$1") tool=$(realpath "$2")
if [ "$(id -u)" != 0 ] || ! id -u nobody >/dev/null 2>&1; then
  echo "planted-copies: needs root and the account nobody; skipped"
  exit 77
fi
python=/usr/bin/python3
for need in unshare setpriv strace "$python"; do
  command -v "$need" >/dev/null || { echo "planted-copies: $need is missing (scripts/setup)"; exit 1; }
done
# Into a mount namespace of this run's own, once: every mount below stays in it.
if [ "${3:-}" != --in-private-namespace ]; then
  exec unshare --mount bash "$0" "$launch" "$tool" --in-private-namespace
fi
mount --make-rprivate / && mount -t tmpfs -o mode=1777,size=256m tmpfs /var/tmp ||
  { echo "planted-copies: cannot mount a private tmpfs on /var/tmp"; exit 1; }
[ "$(stat -f -c %T /var/tmp)" = tmpfs ] && [ -z "$(ls -A /var/tmp)" ] ||
  { echo "planted-copies: /var/tmp is not a fresh tmpfs"; exit 1; }

work=$(mktemp -d /tmp/tolvane-planted.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
fail=0
problem() {
  echo "planted-copies: $*"
  fail=$((fail + 1))
}

# The list, and the copy nobody edited through sudo that the tool kept and put on record.
name=admins.list list=$work/admins.list
printf '%s\n' '# the list' '{FA} {} "10.1.*.*"   # Ada' '{GA} {} "10.2.*.*"   # Bob' >"$list"
chmod 644 "$list"
kept_folder=$(mktemp -d /var/tmp/tolvane-edit.XXXXXX)
kept=$kept_folder/$name
{ cat "$list" && echo '{HA} {} "10.3.*.*"   # Cy'; } >"$kept"
chmod 600 "$kept" && chmod 700 "$kept_folder" && chown -R nobody:nogroup "$kept_folder"
touch -h -d '2026-01-02 03:04 UTC' "$kept"
id=20260102T030400Z-Ab12Cd
printf '%s\n' '{"v":1,"kind":"end","id":"'$id'","at":"2026-01-02T03:04:00Z","result":"refused","why":"the new list has 1 error that the list does not have: nothing written","logged":true,"kept":{"path":"'"$kept"'","owner":65534,"beside":false}}' \
  >"$work/.$name.journal"
chmod 600 "$work/.$name.journal"

# Check, plain and JSON: standard output, standard error and exit status into WORK/TAG.*.
check() {
  local tag=$1
  shift
  (cd "$work" && TZ=UTC "$launch" "$tool" check "$@" "$list" >"$work/$tag.out" 2>"$work/$tag.err")
  echo $? >"$work/$tag.status"
}
check before
check before-json --json
said="$kept, written 2026-01-02 03:04, is a copy of the list that nobody edited through sudo and that was not installed (change $id): look at it with them, then remove its folder"
grep -q -x -F "$list: warning: $said [kept-copy]" "$work/before.out" ||
  problem "check does not name the kept copy: $(cat "$work/before.out")"
[ "$(cat "$work/before.status")" = 1 ] || problem "check exits with $(cat "$work/before.status"), not 1"
findings=$("$python" -c 'import json, sys
for f in json.load(open(sys.argv[1]))["files"][0]["findings"]: print(f["severity"], f["code"], f["message"])' \
  "$work/before-json.out")
[ "$findings" = "warning kept-copy $said" ] ||
  problem "check --json finds [$findings], not the kept copy alone"

# nobody's 20,000 folders, planted by one process; prints the number of each kind it made.
planted=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$python" - "$kept" 20000 <<'EOF'
import os, random, sys

kept, count = sys.argv[1], int(sys.argv[2])
name = os.path.basename(kept)
kept_folder = os.path.dirname(kept)
with open(kept, "rb") as f:
    body = f.read()
times = os.stat(kept)
alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
made = {}

def folder():
    """A new folder named as the tool names one, mode 0700, and its path."""
    while True:
        path = "/var/tmp/tolvane-edit." + "".join(random.choice(alphabet) for _ in range(6))
        try:
            os.mkdir(path, 0o700)
            return path
        except FileExistsError:
            pass

def copy(path, data=body):
    """A plain file of the list's name in the folder at `path`, mode 0600, as the tool writes it."""
    fd = os.open(os.path.join(path, name), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    os.write(fd, data)
    os.close(fd)
    return os.path.join(path, name)

kinds = ["as-the-tool", "user-attribute", "link-beside", "folder-link", "two-names", "hostile-bytes"]
for i in range(count):
    kind = kinds[i % len(kinds)]
    path = folder()
    file = copy(path, body if kind != "hostile-bytes" else
                b'{FA} {} "10.66.6.6"   # nobody\x1b[2J\x1b]0;owned\x07\r' + kept.encode() + b"\n")
    if kind == "as-the-tool":
        os.utime(file, ns=(times.st_atime_ns, times.st_mtime_ns))
    elif kind == "user-attribute":
        for p in (path, file):
            os.setxattr(p, "user.tolvane-list.list", kept.encode())
    elif kind == "link-beside":
        os.symlink(kept, os.path.join(path, "." + name + ".swp"))
        os.symlink("/etc/shadow", os.path.join(path, name + "~"))
    elif kind == "folder-link":
        # Beside the folder, a link of the tool's form to the kept copy's folder.
        while True:
            link = "/var/tmp/tolvane-edit." + "".join(random.choice(alphabet) for _ in range(6))
            try:
                os.symlink(kept_folder, link)
                break
            except FileExistsError:
                pass
    elif kind == "two-names":
        os.link(file, os.path.join(path, "other"))
    made[kind] = made.get(kind, 0) + 1
print(" ".join(f"{k} {made[k]}" for k in kinds))
EOF
) || { problem "nobody could not plant its folders"; exit 1; }
folders=$(find /var/tmp -mindepth 1 -maxdepth 1 -type d -name 'tolvane-edit.*' -user nobody -perm 700 | wc -l)
[ "$folders" = 20001 ] || problem "$folders folders of nobody's in /var/tmp, not the kept copy's and 20,000"

check after
check after-json --json
for tag in "" -json; do
  for stream in out err status; do
    cmp -s "$work/before$tag.$stream" "$work/after$tag.$stream" ||
      problem "check${tag:+ --json}: its $stream changed with the planted folders:"$'\n'"$(diff "$work/before$tag.$stream" "$work/after$tag.$stream" | head -n 12)"
  done
done
# Check never reads /var/tmp's entries: it opens only the folder the journal names. (The
# sanitizer build's leak check cannot run under strace.)
(cd "$work" && ASAN_OPTIONS=detect_leaks=0 strace -f -q -y -e trace=getdents64 -o "$work/trace" "$launch" "$tool" check "$list" >/dev/null 2>&1)
if ! grep -q -x '[0-9]* *+++ exited with 1 +++' "$work/trace"; then
  problem "strace did not follow check to its end: $(head -n 3 "$work/trace")"
elif grep -q '</var/tmp>' "$work/trace"; then
  problem "check lists /var/tmp: $(grep -m 3 '</var/tmp>' "$work/trace")"
fi
[ "$fail" = 0 ] || { echo "planted-copies: $fail problem(s)"; exit 1; }
echo "planted-copies: nobody planted $planted; check and check --json said the same before and after, naming only the kept copy"
