#!/bin/sh
# Installed as tolvane-host: runs the stand-in host of the plug-in's own architecture. A host
# loads only plug-ins of its own architecture, so each architecture's host lives in that
# architecture's library folder, PREFIX/lib/TRIPLET/tolvane/tolvane-host, and the i386 and
# x86-64 hosts can be installed side by side. This file is the same for every architecture.
# Where the kernel starts no program of the host's architecture (an i386 host, with the kernel's
# IA32 emulation off), the host runs under qemu-user's emulator, or this says to install it.
set -eu
prefix=$(dirname "$(dirname "$(readlink -f "$0")")")

# Prints the multiarch triplet of the ELF file $1 (i386 or x86-64), or nothing.
elf_triplet() {
  [ -f "$1" ] && [ -r "$1" ] || return 0
  # shellcheck disable=SC2046 # one word a byte
  set -- $(od -An -tu1 -N20 "$1" 2>/dev/null)
  [ $# -eq 20 ] && [ "$1 $2 $3 $4 $6" = "127 69 76 70 1" ] || return 0
  case "$5 ${19} ${20}" in # ELF class, then e_machine (little-endian)
    "1 3 0") echo i386-linux-gnu ;;
    "2 62 0") echo x86_64-linux-gnu ;;
  esac
}

# This machine's own architecture: the kernel starts its programs.
case $(uname -m) in
  i?86) own=i386-linux-gnu other=x86_64-linux-gnu ;;
  *) own=x86_64-linux-gnu other=i386-linux-gnu ;;
esac

# Starts the host $1 of the architecture $2 (a triplet) with the arguments after them. A kernel
# may start no program of another architecture than its own (an i386 host where the kernel's
# IA32 emulation is off fails with "Exec format error"): such a host runs under qemu-user's
# emulator of its architecture when that is installed; otherwise this says what to install.
start() {
  host=$1
  triplet=$2
  shift 2
  if [ "$triplet" != "$own" ]; then
    status=0
    "$host" --version >/dev/null 2>&1 || status=$?
    if [ $status -eq 126 ]; then # the kernel cannot start it (the host never exits with 126)
      arch=i386 emulator=qemu-i386
      [ "$triplet" = x86_64-linux-gnu ] && arch=amd64 emulator=qemu-x86_64
      command -v $emulator >/dev/null 2>&1 && exec $emulator "$host" "$@"
      echo "tolvane-host: this kernel starts no $arch program, such as the $arch host $host;" \
        "$emulator of qemu-user runs it: install qemu-user (Debian: apt-get install qemu-user)," \
        "and tolvane-host starts the host through it" >&2
      exit 2
    fi
  fi
  exec "$host" "$@"
}

# The plug-in is the first word that is not an option, as tolvane-host reads its options.
plugin=
skip=no
for a in "$@"; do
  if [ $skip = yes ]; then
    skip=no
    continue
  fi
  case $a in
    --script | --id | --argc) skip=yes ;;
    --quiet | --stats | --keep-going) ;;
    -?*) break ;; # help, version, or an option the host reports
    *)
      plugin=$a
      break
      ;;
  esac
done

triplet=
[ -z "$plugin" ] || triplet=$(elf_triplet "$plugin")
if [ -n "$triplet" ]; then
  host=$prefix/lib/$triplet/tolvane/tolvane-host
  if [ ! -x "$host" ]; then
    arch=amd64
    [ "$triplet" = i386-linux-gnu ] && arch=i386
    echo "tolvane-host: $plugin is an $arch plug-in, and no $arch host is installed" \
      "($host; Debian: install tolvane-host:$arch)" >&2
    exit 2
  fi
  start "$host" "$triplet" "$@"
fi

# No plug-in of a known architecture (help, version, a file the host will refuse): the
# machine's own host, else the other one.
for triplet in $own $other; do
  host=$prefix/lib/$triplet/tolvane/tolvane-host
  [ -x "$host" ] && start "$host" "$triplet" "$@"
done
echo "tolvane-host: no host is installed in $prefix/lib/*/tolvane/" >&2
exit 2
