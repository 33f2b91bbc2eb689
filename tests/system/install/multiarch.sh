#!/usr/bin/env bash
# A 32-bit server on a 64-bit system: installs, on this amd64 system, the i386 plug-in package
# beside the amd64 tools package, with the i386 architecture added and the i386 C library taken
# from Debian through apt-get, as an operator would. Then:
#   1. only the C library comes in for i386 (no i386 C++ runtime); the plug-in lies in
#      /usr/lib/i386-linux-gnu/tolvane/ and belongs to tolvane-plugin:i386;
#   2. the amd64 tolvane-list adds an administrator to the installed list and checks it;
#   3. the i386 stand-in host of the i386 build loads the installed plug-in with the installed
#      list and recognises her: its transcript must equal multiarch.out;
#   4. the amd64 plug-in and both hosts' packages install beside them (Multi-Arch: same): the
#      launcher tolvane-host runs each plug-in in the host of its architecture, with the same
#      transcript (the i386 host through qemu-i386 where the kernel starts no i386 program),
#      and the hosts' shared files belong to both.
# Everything it installed is purged again, the i386 architecture removed if it added it, and the
# system must then be as it found it. It needs root and amd64 builds in build/default and
# build/i386; where the i386 architecture cannot be added it says SKIPPED and exits with 77.
# UPDATE_GOLDEN=1 rewrites multiarch.out from step 3.
#   multiarch.sh SOURCE_DIR
set -u
source=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
say() { echo "multiarch: $*"; }
fail=0
problem() { say "FAILED: $*"; fail=1; }
skipped=no
skip() {
  say "SKIPPED: $*: the i386 plug-in package was not tried beside the amd64 tools" >&2
  skipped=yes
  exit 77
}

[ "$(dpkg --print-architecture)" = amd64 ] || { say "this system is not amd64"; exit 1; }
[ "$(id -u)" -eq 0 ] || skip "adding the i386 architecture needs root"
for b in default i386; do
  [ -x "$source/build/$b/tolvane-host" ] && [ -f "$source/build/$b/CPackConfig.cmake" ] ||
    { say "build/$b is not built"; exit 1; }
done
installed_tolvane=$(dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' 'tolvane*' 2>/dev/null |
  awk '$1 != "un" {print $2}')
if [ -n "$installed_tolvane" ]; then
  say "tolvane packages are installed already ($(echo $installed_tolvane)): the test installs" \
    "and purges its own, so purge these first"
  exit 1
fi

work=$(mktemp -d)
chmod 755 "$work" # apt reads the local packages as its own user
apt=(apt-get -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends)
export DEBIAN_FRONTEND=noninteractive
packages() { dpkg-query -W -f='${binary:Package}\n' | sort; }
archives() { ls /var/cache/apt/archives/ | sort; }
# What the test may change: i386 and tolvane packages, the architectures, the installed folders.
state() {
  dpkg-query -W -f='${binary:Package} ${Version} ${db:Status-Abbrev}\n' | grep -E '^tolvane|:i386 ' | sort
  local foreign
  foreign=$(dpkg --print-foreign-architectures | paste -sd ' ')
  echo "foreign architectures: ${foreign:-none}"
  ls -d /etc/tolvane /usr/lib/*/tolvane /usr/include/tolvane 2>/dev/null
}
state >"$work/before"
archives >"$work/archives-before"
: >"$work/ours"
added_arch=no

# dpkg, waiting while another process holds its lock.
dpkg_waiting() {
  local out
  for _ in $(seq 120); do
    out=$(dpkg "$@" 2>&1) && return 0
    grep -q 'lock' <<<"$out" || { echo "$out" >&2; return 1; }
    sleep 5
  done
  echo "$out" >&2
  return 1
}

# apt-get install of the given package files; what it brought in is noted in ours.
apt_install() {
  local log=$work/apt-$RANDOM
  packages >"$work/packages-before"
  "${apt[@]}" install "$@" >"$log" 2>&1 || { cat "$log"; return 1; }
  comm -13 "$work/packages-before" <(packages) >>"$work/ours"
}

# Purges what the test installed, removes the architecture if it added it, and compares.
cleanup() {
  if [ -s "$work/ours" ]; then
    say "purging $(tr '\n' ' ' <"$work/ours")"
    # shellcheck disable=SC2046 # one word a package
    dpkg_waiting --purge --force-remove-protected $(cat "$work/ours") || problem "could not purge what the test installed"
  fi
  if [ $added_arch = yes ]; then
    dpkg_waiting --remove-architecture i386 || problem "could not remove the i386 architecture"
    "${apt[@]}" update >/dev/null 2>&1 || problem "apt-get update after removing i386 failed"
  fi
  comm -13 "$work/archives-before" <(archives) | grep '\.deb$' |
    while read -r f; do rm -f "/var/cache/apt/archives/$f"; done
  if state | diff -u "$work/before" - >"$work/state-diff"; then
    say "the system is as it was: $(grep -vc -e '^foreign' -e '^/' "$work/before") i386 or" \
      "tolvane package(s), $(grep '^foreign' "$work/before")"
  else
    problem "the system is not as it was:"
    cat "$work/state-diff"
  fi
  rm -rf "$work"
  [ $fail = 0 ] && [ $skipped = yes ] && exit 77
  exit $fail
}
trap cleanup EXIT

version=$(sed -n 's/^project(tolvane VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
for b in default i386; do
  (cd "$source/build/$b" && cpack -B "$work/$b" >/dev/null) || { problem "cpack in build/$b failed"; exit; }
done
deb() { echo "$work/$2/${1}_${version}_$3.deb"; } # PACKAGE BUILD ARCH

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg_waiting --add-architecture i386 || skip "dpkg --add-architecture i386 failed"
  added_arch=yes
  say "added the i386 architecture"
fi
"${apt[@]}" update >/dev/null || { problem "apt-get update failed"; exit; }

# Runs the scenario with PLUGIN and the installed list in the host that the command after it
# starts; prints the transcript.
play() {
  local plugin=$1
  shift
  (cd "$work" && "$@" --script "$here/multiarch.session" "$plugin" /etc/tolvane/admins.list 2>&1
    echo "[exit $?]")
}
# The i386 build's programs, and the installed i386 host, run as that build runs its programs:
# natively, or under qemu-user (tests/support/run-installed.sh).
launch32=$source/build/i386/tolvane-launch
host32=/usr/lib/i386-linux-gnu/tolvane/tolvane-host
had_cxx_i386=$(packages | grep -cx 'libstdc++6:i386')

say "1. tolvane:amd64 and tolvane-plugin:i386"
apt_install "$(deb tolvane default amd64)" "$(deb tolvane-plugin i386 i386)" ||
  { problem "apt-get install failed"; exit; }
for p in tolvane:amd64 tolvane-plugin:i386 libc6:i386; do
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null)" = "ii " ] || problem "$p is not installed"
done
[ "$had_cxx_i386" = 0 ] && dpkg-query -W -f='${db:Status-Abbrev}' libstdc++6:i386 2>/dev/null | grep -q '^ii' &&
  problem "the i386 C++ runtime came in with the plug-in"
plugin32=/usr/lib/i386-linux-gnu/tolvane/tolvane.so
[ "$(dpkg -S "$plugin32" 2>&1)" = "tolvane-plugin:i386: $plugin32" ] ||
  problem "$plugin32 does not belong to tolvane-plugin:i386: $(dpkg -S "$plugin32" 2>&1)"
readelf -h "$plugin32" 2>/dev/null | grep -q 'Machine: *Intel 80386' || problem "$plugin32 is not i386"
readelf -h /usr/bin/tolvane-list 2>/dev/null | grep -q 'Machine: *Advanced Micro Devices X86-64' ||
  problem "/usr/bin/tolvane-list is not amd64"
say "installed: $(dpkg-query -W -f='${binary:Package} ' tolvane tolvane-plugin:i386 libc6:i386)"

say "2. tolvane-list (amd64) adds Ada to the installed list and checks it"
/usr/bin/tolvane-list add --crc 0x3E71D5A4 --counter 53 --addr '10.1.*.*' --note 'Ada, office network' \
  >"$work/add" 2>&1 || { cat "$work/add"; problem "tolvane-list add failed"; }
/usr/bin/tolvane-list check >"$work/check" 2>&1 || { cat "$work/check"; problem "tolvane-list check found fault"; }
grep -qx '/etc/tolvane/admins.list: 1 record the plug-in loads' "$work/check" ||
  { cat "$work/check"; problem "tolvane-list check does not report Ada's record"; }

say "3. the i386 host of build/i386 with the installed plug-in and list"
play "$plugin32" "$launch32" "$source/build/i386/tolvane-host" >"$work/out32"
if [ "${UPDATE_GOLDEN:-0}" = 1 ]; then
  cp "$work/out32" "$here/multiarch.out"
  say "rewrote $here/multiarch.out"
fi
diff -u "$here/multiarch.out" "$work/out32" || problem "the transcript differs from multiarch.out"

say "4. tolvane-plugin:amd64, tolvane-host:i386, tolvane-host:amd64 and tolvane-dev beside them"
apt_install "$(deb tolvane-plugin default amd64)" "$(deb tolvane-host i386 i386)" \
  "$(deb tolvane-host default amd64)" "$(deb tolvane-dev default all)" ||
  { problem "apt-get install failed"; exit; }
page=/usr/share/man/man1/tolvane-host.1.gz
[ "$(dpkg -S "$page" 2>&1)" = "tolvane-host:amd64, tolvane-host:i386: $page" ] ||
  problem "$page is not shared by both hosts: $(dpkg -S "$page" 2>&1)"
play "$plugin32" "$source/tests/support/run-installed.sh" "$launch32" "$host32" -- /usr/bin/tolvane-host |
  diff -u "$here/multiarch.out" - ||
  problem "the launcher with the i386 plug-in: the transcript differs from multiarch.out"
play "$plugin32" /usr/bin/tolvane-host | diff -u "$here/multiarch.out" - ||
  problem "the launcher alone with the i386 plug-in (natively, or through qemu-i386 where the" \
    "kernel starts no i386 program): the transcript differs from multiarch.out"
plugin64=/usr/lib/x86_64-linux-gnu/tolvane/tolvane.so
play "$plugin64" /usr/bin/tolvane-host | sed "s#$plugin64#$plugin32#g" | diff -u "$here/multiarch.out" - ||
  problem "the launcher with the amd64 plug-in: the transcript differs from multiarch.out"
say "installed: $(dpkg-query -W -f='${binary:Package} ' 'tolvane*')"
