#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR, then builds its Debian packages and unpacks them
# together with dpkg-deb -x, and in both copies runs what an operator would: tolvane-host (the
# launcher on the PATH) with the installed plug-in on the installed demo session (its transcript
# must equal the golden one), tolvane-list check on the installed example list and with no FILE
# (it must name the list's home, /etc/tolvane/admins.list, which holds comments only, mode
# 0644), and man on the installed pages. The version set in project() must be the one that both
# programs' --version, the manuals' headers and the latest entry of each changelog and of NEWS
# give, and each package's Version. The launcher must refuse a plug-in of the other
# architecture, whose host is not there, with a message naming it. No path of the source or
# build tree may be found in what is installed. bash with the installed completion completes
# `tolvane-list ch` to check, `tolvane-list check --j` to --json, `--con` to --content-only,
# `--fail-on=e` to error and `tolvane-host --sc` to --script. Each package must hold exactly its
# files, carry its control fields (the plug-in depends on the C library alone), keep every
# architecture-dependent file of a Multi-Arch: same package in the architecture's own folder,
# and pass lintian, informational tags shown, with no error, no warning and no hardening or
# large-file tag (the plug-in's one override aside); the packaged tool and host must be hardened
# as hardening-check reads it, and the plug-in bound at load with read-only relocations and
# still within its C library floor (check-hardening.sh). tolvane lists the list's home as a
# configuration file (and expire.conf, the lists its expire timer serves), recommends bash-completion, ships NEWS as NEWS.Debian.gz and the example
# playbook (examples/ansible/, its module in library/), which ansible-playbook --syntax-check
# accepts where it is installed. The installed programs run as the build's own do: natively, or
# under qemu-user (tests/support/run-installed.sh). Purged, tolvane leaves nothing of
# tolvane-list's beside the list (its postrm, run on a list's home of the test's own where the
# installed tool made its changes, kept an edit and found an install cut short): the lock, the
# journal and the one it rotated, NAME- and every copy go, each copy named, and the folder with
# them, unless a file of the operator's stays in it.
#   run-install.sh BUILD_DIR SOURCE_DIR ARCH
set -u
build=$(realpath "$1") source=$(realpath "$2") arch=$3
launch=$build/tolvane-launch
if [ "$("$launch" --how)" != natively ] && [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the installed i386 host runs under qemu-user only in a mount namespace, which needs root"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
problem() { echo "install: $*"; fail=1; }

case $arch in
  amd64) triplet=x86_64-linux-gnu floor=2.3.4 libgcc=3.0 other=i386 other_triplet=i386-linux-gnu ;;
  i386) triplet=i386-linux-gnu floor=2.3 libgcc=7 other=amd64 other_triplet=x86_64-linux-gnu ;;
  *) echo "install: unknown architecture $arch"; exit 2 ;;
esac
version=$(sed -n 's/^project(tolvane VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[ -n "$version" ] || { echo "install: no version in project() of $source/CMakeLists.txt"; exit 2; }
home=/etc/tolvane/admins.list
plugin=usr/lib/$triplet/tolvane/tolvane.so
cxx="libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= $libgcc)"
split="tolvane (<< 2.0.1~)"
ansible=usr/share/doc/tolvane/examples/ansible

# Each package: its files, and its control fields as NAME=VALUE lines (an empty VALUE: no field).
declare -A files fields
files[tolvane-plugin]="$plugin
usr/share/doc/tolvane-plugin/changelog.gz usr/share/doc/tolvane-plugin/copyright
usr/share/lintian/overrides/tolvane-plugin"
fields[tolvane-plugin]="Architecture=$arch
Multi-Arch=same
Depends=libc6 (>= $floor)
Recommends=
Suggests=tolvane
Breaks=
Replaces="
files[tolvane]="etc/tolvane/admins.list etc/tolvane/expire.conf usr/bin/tolvane-list
lib/systemd/system/tolvane-expire.service lib/systemd/system/tolvane-expire.timer
usr/libexec/tolvane/tolvane-expire
usr/share/bash-completion/completions/tolvane-list usr/share/doc/tolvane/README.md
usr/share/doc/tolvane/changelog.gz usr/share/doc/tolvane/copyright usr/share/doc/tolvane/NEWS.Debian.gz
usr/share/doc/tolvane/examples/admins.list $ansible/tolvane.yml $ansible/admins.list.j2
$ansible/inventory.ini $ansible/group_vars/all.yml $ansible/library/tolvane_record.py
usr/share/man/man1/tolvane-list.1.gz usr/share/man/man5/tolvane-list.5.gz"
fields[tolvane]="Architecture=$arch
Multi-Arch=foreign
Depends=$cxx, libnettle8
Recommends=bash-completion
Suggests=tolvane-plugin
Breaks=
Replaces="
files[tolvane-host]="usr/bin/tolvane-host usr/lib/$triplet/tolvane/tolvane-host
usr/share/bash-completion/completions/tolvane-host usr/share/doc/tolvane-host/changelog.gz
usr/share/doc/tolvane-host/copyright usr/share/doc/tolvane-host/examples/admins.list
usr/share/doc/tolvane-host/examples/demo.session usr/share/man/man1/tolvane-host.1.gz"
fields[tolvane-host]="Architecture=$arch
Multi-Arch=same
Depends=$cxx, libedit2 (>= 3.1-20140620-0)
Recommends=tolvane-plugin
Suggests=
Breaks=$split
Replaces=$split"
files[tolvane-dev]="usr/include/tolvane/s-pluginapi.h usr/include/tolvane/s-serverpublic.h
usr/share/doc/tolvane-dev/changelog.gz usr/share/doc/tolvane-dev/copyright"
fields[tolvane-dev]="Architecture=all
Multi-Arch=foreign
Depends=
Recommends=
Suggests=tolvane-host
Breaks=$split
Replaces=$split"
packages="tolvane-plugin tolvane tolvane-host tolvane-dev"
# shellcheck disable=SC2086 # one word a file
all_files=$(for p in $packages; do printf '%s\n' ${files[$p]}; done | sort)

# Runs the installed copy under ROOT as an operator would; NAME says which copy.
check_copy() {
  local root=$1 name=$2
  # The launcher tolvane-host, with the host it starts; tolvane-list, a program of the build.
  local host=("$source/tests/support/run-installed.sh" "$launch" "$root/usr/lib/$triplet/tolvane/tolvane-host" --
              "$root/usr/bin/tolvane-host")
  local list=("$launch" "$root/usr/bin/tolvane-list")
  local found
  found=$(cd "$root" && find . -type f | sed 's#^\./##' | sort)
  [ "$found" = "$all_files" ] ||
    problem "$name: installed files differ: $(diff <(echo "$all_files") <(echo "$found") | grep '^[<>]' | tr '\n' ' ')"
  mkdir -p "$work/run-$name"
  cp "$root/usr/share/doc/tolvane-host/examples/admins.list" "$work/run-$name/"
  (cd "$work/run-$name" &&
    "${host[@]}" --script "$root/usr/share/doc/tolvane-host/examples/demo.session" \
      "$root/$plugin" admins.list >out 2>&1; echo "[exit $?]" >>out)
  sed "s#$root/$plugin#tolvane.so#g" "$work/run-$name/out" >"$work/run-$name/norm"
  diff -u "$source/tests/plugin/golden/demo.out" "$work/run-$name/norm" >/dev/null ||
    problem "$name: the demo's transcript differs from tests/plugin/golden/demo.out"
  # The launcher alone, as the operator runs it: where the kernel starts no i386 program, it
  # starts the i386 host through qemu-user's qemu-i386 itself. (The demo changes its list.)
  mkdir -p "$work/alone-$name"
  cp "$root/usr/share/doc/tolvane-host/examples/admins.list" "$work/alone-$name/"
  (cd "$work/alone-$name" &&
    "$root/usr/bin/tolvane-host" --script "$root/usr/share/doc/tolvane-host/examples/demo.session" \
      "$root/$plugin" admins.list 2>&1 | sed "s#$root/$plugin#tolvane.so#g" >alone
    echo "[exit ${PIPESTATUS[0]}]" >>alone)
  diff -u "$source/tests/plugin/golden/demo.out" "$work/alone-$name/alone" >/dev/null ||
    problem "$name: the demo through the launcher alone differs from tests/plugin/golden/demo.out"
  check_no_kernel "$root" "$name"
  # An ELF header of the other architecture: its host is not installed here.
  local elf
  if [ "$other" = i386 ]; then elf='\177ELF\001\001\001\0\0\0\0\0\0\0\0\0\003\0\003\0'
  else elf='\177ELF\002\001\001\0\0\0\0\0\0\0\0\0\003\0\076\0'; fi
  printf "$elf" >"$work/other.so"
  local got
  got=$("$root/usr/bin/tolvane-host" --quiet "$work/other.so" </dev/null 2>&1; echo "[exit $?]")
  [ "$got" = "tolvane-host: $work/other.so is an $other plug-in, and no $other host is installed \
($root/usr/lib/$other_triplet/tolvane/tolvane-host; Debian: install tolvane-host:$other)
[exit 2]" ] || problem "$name: the launcher with an $other plug-in said: $got"
  "${list[@]}" check "$root/usr/share/doc/tolvane/examples/admins.list" >"$work/check-$name" ||
    problem "$name: tolvane-list check of the example list failed"
  grep -q ': 3 records the plug-in loads$' "$work/check-$name" || problem "$name: check output"
  local shipped="$root$home"
  [ "$(stat -c %a "$shipped")" = 644 ] || problem "$name: $home is mode $(stat -c %a "$shipped"), not 644"
  grep -qv '^#' "$shipped" && problem "$name: $home holds more than comments"
  "${list[@]}" check >"$work/default-$name" 2>&1
  grep -qF "$home" "$work/default-$name" || problem "$name: check with no FILE does not name $home"
  # The version, set once in project(): each program's --version (the host's through the
  # launcher and on its own), each manual's header, the latest entry of every changelog and NEWS.
  local doc page
  got=$("${list[@]}" --version 2>&1)
  [ "$got" = "tolvane-list $version" ] || problem "$name: tolvane-list --version says '$got', not $version"
  got=$("${host[@]}" --version 2>&1)
  [ "$got" = "tolvane-host $version" ] || problem "$name: tolvane-host --version says '$got', not $version"
  got=$("$launch" "$root/usr/lib/$triplet/tolvane/tolvane-host" --version 2>&1)
  [ "$got" = "tolvane-host $version" ] || problem "$name: the host binary's --version says '$got', not $version"
  for page in man1/tolvane-host.1.gz man1/tolvane-list.1.gz man5/tolvane-list.5.gz; do
    got=$(zcat "$root/usr/share/man/$page" | head -n 1)
    [[ $got == ".TH "*" \"Tolvane $version\" "* ]] || problem "$name: $page begins '$got', not with Tolvane $version"
  done
  for doc in $(cd "$root" && ls usr/share/doc/*/changelog.gz usr/share/doc/tolvane/NEWS.Debian.gz); do
    zcat "$root/$doc" >"$work/entries"
    got=$(dpkg-parsechangelog -l "$work/entries" -S Version 2>&1)
    [ "$got" = "$version" ] || problem "$name: the latest entry of $doc is '$got', not $version"
  done
  echo "install: $name copy: version $version in both programs' --version, the manuals, the changelogs and NEWS"
  # Completion as bash runs it at a TAB: the function that `complete` names for the command,
  # with the installed tolvane-list on the PATH (its options come from its --help), started as
  # the build's own programs are.
  mkdir -p "$work/path-$name"
  printf '#!/bin/sh\nexec %s "$@"\n' "${list[*]}" >"$work/path-$name/tolvane-list"
  chmod 755 "$work/path-$name/tolvane-list"
  local completions="$root/usr/share/bash-completion/completions"
  got=$(PATH="$work/path-$name:$PATH" bash --norc -c '
    tab() { local f; f=$(complete -p "$1" | sed "s/.*-F \([^ ]*\).*/\1/"); COMP_WORDS=("$@");
            COMP_CWORD=$(($# - 1)); COMPREPLY=(); "$f"; echo "${COMPREPLY[*]}"; }
    source "$1/tolvane-list"; source "$1/tolvane-host"
    tab tolvane-list ch; tab tolvane-list check --j; tab tolvane-list check --con
    tab tolvane-list check --fail-on = e; tab tolvane-host --sc' bash "$completions")
  [ "$got" = "check
--json
--content-only
error
--script" ] || problem "$name: completion gave '$got'"
  # The example playbook: the files of examples/ansible/, which ansible-playbook reads whole,
  # with its module found in library/ beside it.
  local example="$root/usr/share/doc/tolvane/examples/ansible" f
  for f in tolvane.yml admins.list.j2 inventory.ini group_vars/all.yml library/tolvane_record.py; do
    cmp -s "$source/examples/ansible/$f" "$example/$f" || problem "$name: the example's $f differs from the source's"
  done
  got=$(cd "$example" && HOME="$work/home-$name" ANSIBLE_LOCAL_TEMP="$work/home-$name/tmp" \
    ansible-playbook -i inventory.ini --syntax-check tolvane.yml 2>&1; echo "[exit $?]")
  [ "$got" = "
playbook: tolvane.yml
[exit 0]" ] || problem "$name: ansible-playbook --syntax-check of the example said: $got"
  for page in man1/tolvane-host.1.gz man1/tolvane-list.1.gz man5/tolvane-list.5.gz; do
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || problem "$name: man warns about $page: $warnings"
  done
  if grep -rl -e "$source" -e "$build" "$root" >/dev/null 2>&1; then
    problem "$name: build or source paths in $(grep -rl -e "$source" -e "$build" "$root" | tr '\n' ' ')"
  fi
  echo "install: $name copy checked"
}

# The installed launcher (of the copy under ROOT; NAME says which) where the kernel starts no
# program of the host's architecture: beside a copy of it, the host of the architecture that is
# not the machine's own is a file that no kernel starts (an ELF file for no machine), as an i386
# host is where IA32 emulation is off. Without qemu-user the launcher says what to install; with
# it (a stand-in emulator on the PATH, which says how it was run) it starts the host through it.
check_no_kernel() {
  local root=$1 name=$2 triplet arch qemu header
  case $(uname -m) in
    i?86) triplet=x86_64-linux-gnu arch=amd64 qemu=qemu-x86_64 header='\002\001\001\0\0\0\0\0\0\0\0\0\003\0\076\0' ;;
    *) triplet=i386-linux-gnu arch=i386 qemu=qemu-i386 header='\001\001\001\0\0\0\0\0\0\0\0\0\003\0\003\0' ;;
  esac
  local dir=$work/no-kernel-$name tool got
  local alien=$dir/usr/lib/$triplet/tolvane/tolvane-host
  mkdir -p "$dir/usr/bin" "$(dirname "$alien")" "$dir/tools" "$dir/emulator"
  cp "$root/usr/bin/tolvane-host" "$dir/usr/bin/"
  printf '\177ELF\001\001\001\0\0\0\0\0\0\0\0\0\002\0\0\0' >"$alien"
  chmod 755 "$alien"
  # shellcheck disable=SC2059 # the header is written as the format's escapes
  printf "\177ELF$header" >"$dir/plugin.so"
  # What the launcher runs, and no qemu-user.
  for tool in dirname readlink od uname; do ln -s "$(command -v $tool)" "$dir/tools/"; done
  got=$(PATH=$dir/tools "$dir/usr/bin/tolvane-host" --quiet "$dir/plugin.so" x.list </dev/null 2>&1; echo "[exit $?]")
  [ "$got" = "tolvane-host: this kernel starts no $arch program, such as the $arch host $alien; \
$qemu of qemu-user runs it: install qemu-user (Debian: apt-get install qemu-user), and \
tolvane-host starts the host through it
[exit 2]" ] || problem "$name: the launcher with a host the kernel cannot start, and no $qemu, said: $got"
  printf '#!/bin/sh\necho "%s ran: $*"\n' "$qemu" >"$dir/emulator/$qemu"
  chmod 755 "$dir/emulator/$qemu"
  got=$(PATH=$dir/emulator:$dir/tools "$dir/usr/bin/tolvane-host" --quiet "$dir/plugin.so" x.list </dev/null 2>&1; echo "[exit $?]")
  [ "$got" = "$qemu ran: $alien --quiet $dir/plugin.so x.list
[exit 0]" ] || problem "$name: the launcher with a host the kernel cannot start, and $qemu, said: $got"
}

# The binary of each package with one, as unpacked under $work/deb.
declare -A binary=([tolvane-plugin]=$plugin [tolvane]=usr/bin/tolvane-list
                   [tolvane-host]=usr/lib/$triplet/tolvane/tolvane-host)
# Checks that the Depends of package PKG (file DEB) holds every library that dpkg-shlibdeps finds
# its binary needs, at a version at least as high as dpkg-shlibdeps asks.
check_shlibdeps() {
  local deb=$1 pkg=$2 found entry name want have
  mkdir -p "$work/shlibdeps/debian"
  printf 'Source: tolvane\n\nPackage: %s\nArchitecture: any\n' "$pkg" >"$work/shlibdeps/debian/control"
  found=$(cd "$work/shlibdeps" && dpkg-shlibdeps -O "$work/deb/${binary[$pkg]}" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')
  [ -n "$found" ] || { problem "$pkg: dpkg-shlibdeps found nothing for ${binary[$pkg]}"; return; }
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  while IFS= read -r entry; do
    name=${entry%% *} want=
    [[ $entry == *"(>= "* ]] && want=${entry#*(>= } && want=${want%)}
    have=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//' | awk -v n="$name" '$1 == n')
    if [ -z "$have" ]; then
      problem "$pkg: Depends lacks $entry, which dpkg-shlibdeps finds"
    elif [ -n "$want" ]; then
      have=$(sed -n 's/.*(>= \(.*\))/\1/p' <<<"$have")
      if [ -z "$have" ] || ! dpkg --compare-versions "$have" ge "$want"; then
        problem "$pkg: Depends asks $name ${have:+>= $have}, dpkg-shlibdeps finds >= $want"
      fi
    fi
  done < <(tr ',' '\n' <<<"$found" | sed 's/^ *//')
}

# Checks one package file DEB of package PKG: its files, fields, shared files, the libraries its
# binary needs, and lintian.
check_package() {
  local deb=$1 pkg=$2
  local listing field want expected
  [ "$(dpkg-deb -f "$deb" Package)" = "$pkg" ] || problem "$pkg: Package field"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || problem "$pkg: Version field"
  while IFS= read -r field; do
    want=${field#*=}
    [ "$(dpkg-deb -f "$deb" "${field%%=*}")" = "$want" ] ||
      problem "$pkg: ${field%%=*} is '$(dpkg-deb -f "$deb" "${field%%=*}")', not '$want'"
  done <<<"${fields[$pkg]}"
  listing=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's#^\./##' | sort)
  # shellcheck disable=SC2086 # one word a file
  expected=$(printf '%s\n' ${files[$pkg]} | sort)
  [ "$listing" = "$expected" ] ||
    problem "$pkg: holds $(echo $listing), not $(echo $expected)"
  # Multi-Arch: same packages share every file outside lib/TRIPLET/ between architectures.
  if [ "$(dpkg-deb -f "$deb" Multi-Arch)" = same ]; then
    local f
    for f in $listing; do
      case $f in usr/lib/$triplet/*) continue ;; esac
      cmp -s -n 4 "$work/deb/$f" <(printf '\177ELF') && problem "$pkg: $f is architecture-dependent"
    done
  fi
  [ -n "${binary[$pkg]:-}" ] && check_shlibdeps "$deb" "$pkg"
  dpkg-deb -e "$deb" "$work/control-$pkg"
  if [ "$pkg" = tolvane ]; then
    [ "$(cat "$work/control-$pkg/conffiles" 2>/dev/null)" = "$home"$'\n'/etc/tolvane/expire.conf ] ||
      problem "$home and /etc/tolvane/expire.conf are not tolvane's configuration files"
  elif [ -e "$work/control-$pkg/conffiles" ]; then
    problem "$pkg has configuration files: $(cat "$work/control-$pkg/conffiles")"
  fi
  # lintian, its informational tags and overrides shown: no error, no warning, no hardening or
  # large-file tag, and no override but the plug-in's one (packaging/tolvane-plugin.lintian-overrides).
  local lint bad info
  lint=$(lintian --display-info --show-overrides --tag-display-limit 0 "$deb" 2>&1 |
    grep -v -e 'running with root privileges' -e '^N: ')
  bad=$(grep -v -e '^I: ' -e '^O: ' <<<"$lint" | grep . ;
    grep -E '^I: [^ ]+ (hardening-[a-z-]+|binary-file-built-without-LFS-support) ' <<<"$lint" ;
    grep '^O: ' <<<"$lint" | grep -vxF "O: tolvane-plugin: hardening-no-fortify-functions [$plugin]")
  info=$(grep -E '^[IO]: ' <<<"$lint" | cut -d ' ' -f 3 | sort -u | paste -sd ' ')
  if [ -n "$bad" ]; then
    problem "lintian: $bad"
  else
    echo "install: $(basename "$deb"): lintian: no error, no warning, no hardening or large-file tag" \
      "(informational and overridden: ${info:-none})"
  fi
  echo "install: $(basename "$deb"): Multi-Arch: $(dpkg-deb -f "$deb" Multi-Arch); Depends: $(dpkg-deb -f "$deb" Depends)"
}

DESTDIR="$work/dest" cmake --install "$build" --prefix /usr --strip >/dev/null || problem "cmake --install failed"
check_copy "$work/dest" destdir

(cd "$build" && cpack -B "$work/pkg" >/dev/null) || problem "cpack failed"
debs=()
for pkg in $packages; do
  [ "$pkg" = tolvane-dev ] && deb_arch=all || deb_arch=$arch
  deb="$work/pkg/${pkg}_${version}_$deb_arch.deb"
  if [ -f "$deb" ]; then
    dpkg-deb -x "$deb" "$work/deb"
    debs+=("$pkg=$deb")
  else
    problem "no package $(basename "$deb")"
  fi
done
# Purges the list's home HOME (a folder of the test's own, named in a copy of the package's
# postrm in place of /etc/tolvane/admins.list) after the installed tool changed the list there:
# an add (the lock, NAME-), an edit whose editor failed (its copy kept), the pair of files an
# install cut short after the exchange leaves, and the journal of the list's changes with the one
# it rotated. With `mine`, a file of the operator's lies there too, and stays with the folder.
check_purge() {
  local home=$1 mine=${2:-} folder got want copy pair
  folder=$(dirname "$home")
  mkdir -p "$folder"
  cp "$source/examples/admins.list" "$home"
  [ -n "$mine" ] && echo "the operator's notes" >"$folder/notes"
  "$launch" "$work/dest/usr/bin/tolvane-list" add "$home" --rseed 7 --addr 10.7.7.7 >/dev/null ||
    problem "purge: the installed tool's add failed"
  EDITOR='sh -c "echo \"# work\" >>\"\$1\"; exit 3" sh' \
    "$launch" "$work/dest/usr/bin/tolvane-list" edit "$home" >"$work/edit.out" 2>&1
  copy=$(sed -n 's/.*your edit is in //p' "$work/edit.out")
  [ -f "$copy" ] || problem "purge: the failed edit kept no copy: $(cat "$work/edit.out")"
  pair=Qq1Ww2
  cp "$home" "$folder/.admins.list.$pair" && cp "$home" "$folder/.admins.list-.$pair"
  echo "a change's journal" >"$folder/.admins.list.journal"
  echo "the journal before it was rotated" >"$folder/.admins.list.journal.1"
  rm "$home"  # dpkg removes the configuration file itself
  sed "s#^list=.*#list=$home#" "$work/control-tolvane/postrm" >"$work/postrm"
  # The machine's systemd is none of the test's: deb-systemd-helper and systemctl are stand-ins
  # that write down how the postrm calls them.
  mkdir -p "$work/units-stub"
  for program in deb-systemd-helper systemctl; do
    printf '#!/bin/sh
echo "%s $*" >>"%s/units.calls"
' "$program" "$work" >"$work/units-stub/$program"
    chmod +x "$work/units-stub/$program"
  done
  rm -f "$work/units.calls"
  got=$(PATH="$work/units-stub:$PATH" LC_ALL=C sh "$work/postrm" purge 2>&1; echo "[exit $?]")
  want=$(printf 'tolvane: removed %s, a copy an earlier change of the list left\n' \
    $(printf '%s\n' "$copy" "$folder/.admins.list.$pair" | LC_ALL=C sort) \
    "$folder/.admins.list-.$pair"; echo "[exit 0]")
  [ "$got" = "$want" ] || problem "purge said:"$'\n'"$got"$'\n'"not:"$'\n'"$want"
  want=$'deb-systemd-helper purge tolvane-expire.timer\ndeb-systemd-helper unmask tolvane-expire.timer'
  [ "$(cat "$work/units.calls" 2>/dev/null)" = "$want" ] ||
    problem "purge: the timer's state is not forgotten as Debian's packages do: $(cat "$work/units.calls" 2>/dev/null)"
  if [ -n "$mine" ]; then
    [ "$(ls -A "$folder")" = notes ] || problem "purge left $(ls -A "$folder" | tr '\n' ' ')beside the operator's file"
  else
    [ ! -e "$folder" ] || problem "purge left $folder: $(ls -A "$folder" | tr '\n' ' ')"
  fi
}

for entry in "${debs[@]}"; do check_package "${entry#*=}" "${entry%%=*}"; done
if [ ${#debs[@]} -eq 4 ]; then
  check_copy "$work/deb" packages
  bash "$source/tests/system/install/check-hardening.sh" "$work/deb" "$arch" "$source" ||
    problem "the packaged binaries are not hardened as Debian builds them"
fi
if [ -f "$work/control-tolvane/postrm" ] && [ "$(grep -c '^list=/etc/tolvane/admins.list$' "$work/control-tolvane/postrm")" = 1 ]; then
  check_purge "$work/purge/etc/tolvane/admins.list"
  check_purge "$work/purge-beside/etc/tolvane/admins.list" mine
  echo "install: purged, nothing of tolvane-list's is left beside the list"
else
  problem "tolvane's postrm does not name the list's home once as list=/etc/tolvane/admins.list"
fi
exit $fail
