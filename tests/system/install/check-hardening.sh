#!/usr/bin/env bash
# Checks the hardening of the packaged binaries under ROOT (the packages unpacked), as Debian's
# hardening-check (devscripts) reads it: tolvane-list and the stand-in host are position
# independent, stack protected, use fortified functions and have read-only relocations with
# immediate binding (BIND_NOW); the plug-in has read-only relocations with immediate binding,
# and still imports nothing newer than its C library floor (tests/plugin/abi/check-exports.sh).
# Control-flow protection is not among Debian 12's flags, and is not asked for. Prints what
# hardening-check said of each binary.
#   check-hardening.sh ROOT ARCH SOURCE_DIR      (ARCH: amd64 or i386)
set -u
root=$1 arch=$2 source=$3
case $arch in
  amd64) triplet=x86_64-linux-gnu abi=x86-64 ;;
  i386) triplet=i386-linux-gnu abi=i386 ;;
  *) echo "hardening: unknown architecture $arch"; exit 2 ;;
esac
if ! command -v hardening-check >/dev/null; then
  echo "hardening: hardening-check is missing (Debian's devscripts; scripts/setup installs it)"
  exit 1
fi
fail=0
problem() { echo "hardening: $*"; fail=1; }

full="Position Independent Executable: yes
Stack protected: yes
Fortify Source functions: yes
Read-only relocations: yes
Immediate binding: yes"
bound="Read-only relocations: yes
Immediate binding: yes"
# Checks FILE with hardening-check and its OPTIONS: each line of WANT must begin a line it says.
check() {
  local file=$1 want=$2 options=$3 said line
  [ -f "$root/$file" ] || { problem "$file is missing"; return; }
  # shellcheck disable=SC2086 # one word an option
  said=$(hardening-check $options "$root/$file" 2>&1)
  local rc=$?
  echo "hardening: $file:"
  sed -n '2,$p' <<<"$said" | sed 's/^ */    /'
  [ $rc -eq 0 ] || problem "$file: hardening-check failed (exit $rc)"
  while IFS= read -r line; do
    grep -qF " $line" <<<"$said" || problem "$file: hardening-check does not say '$line'"
  done <<<"$want"
}
check usr/bin/tolvane-list "$full" --nocfprotection
check "usr/lib/$triplet/tolvane/tolvane-host" "$full" --nocfprotection
plugin=usr/lib/$triplet/tolvane/tolvane.so
check "$plugin" "$bound" "--nocfprotection --nostackprotector --nofortify --nopie"
if floor=$(bash "$source/tests/plugin/abi/check-exports.sh" "$root/$plugin" "$abi" 2>&1); then
  echo "hardening: $plugin: $(grep 'newest glibc' <<<"$floor")"
else
  problem "$plugin: the ABI check failed: $floor"
fi
exit $fail
