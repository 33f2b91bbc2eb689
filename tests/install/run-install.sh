#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR, then builds its Debian package and unpacks it
# with dpkg-deb -x, and in both copies runs what an operator would: the installed tolvane-host
# with the installed plug-in on the installed demo session (its transcript must equal the golden
# one), tolvane-list check on the installed example list and with no FILE (it must name the
# list's home, /etc/tolvane/admins.list, which holds comments only, mode 0644), --version of
# both tools, and man on the installed pages. No path of the source or build tree may be found
# in what is installed. bash with the installed completion completes `tolvane-list ch` to
# check, `tolvane-list check --j` to --json and `tolvane-host --sc` to --script. The package must
# list the list's home as a configuration file and pass lintian with no error and no warning.
#   run-install.sh BUILD_DIR SOURCE_DIR ARCH
set -u
build=$(realpath "$1") source=$(realpath "$2") arch=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
problem() { echo "install: $*"; fail=1; }

layout="etc/tolvane/admins.list usr/bin/tolvane-host usr/bin/tolvane-list
usr/include/tolvane/s-pluginapi.h usr/include/tolvane/s-serverpublic.h usr/lib/tolvane/tolvane.so
usr/share/doc/tolvane/copyright usr/share/doc/tolvane/changelog.gz
usr/share/doc/tolvane/examples/admins.list usr/share/doc/tolvane/examples/demo.session
usr/share/man/man1/tolvane-host.1.gz usr/share/man/man1/tolvane-list.1.gz
usr/share/man/man5/tolvane-list.5.gz
usr/share/bash-completion/completions/tolvane-list usr/share/bash-completion/completions/tolvane-host"
home=/etc/tolvane/admins.list
version=$(sed -n 's/^project(tolvane VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")

# Runs the installed copy under ROOT as an operator would; NAME says which copy.
check_copy() {
  local root=$1 name=$2
  for f in $layout; do [ -f "$root/$f" ] || problem "$name: $f is missing"; done
  mkdir -p "$work/run-$name"
  cp "$root/usr/share/doc/tolvane/examples/admins.list" "$work/run-$name/"
  (cd "$work/run-$name" &&
    "$root/usr/bin/tolvane-host" --script "$root/usr/share/doc/tolvane/examples/demo.session" \
      "$root/usr/lib/tolvane/tolvane.so" admins.list >out 2>&1; echo "[exit $?]" >>out)
  sed "s#$root/usr/lib/tolvane/tolvane.so#tolvane.so#g" "$work/run-$name/out" >"$work/run-$name/norm"
  diff -u "$source/tests/golden/demo.out" "$work/run-$name/norm" >/dev/null ||
    problem "$name: the demo's transcript differs from tests/golden/demo.out"
  "$root/usr/bin/tolvane-list" check "$root/usr/share/doc/tolvane/examples/admins.list" >"$work/check-$name" ||
    problem "$name: tolvane-list check of the example list failed"
  grep -q ': 3 records the plug-in loads$' "$work/check-$name" || problem "$name: check output"
  local shipped="$root$home"
  [ "$(stat -c %a "$shipped")" = 644 ] || problem "$name: $home is mode $(stat -c %a "$shipped"), not 644"
  grep -qv '^#' "$shipped" && problem "$name: $home holds more than comments"
  "$root/usr/bin/tolvane-list" check >"$work/default-$name" 2>&1
  grep -qF "$home" "$work/default-$name" || problem "$name: check with no FILE does not name $home"
  for tool in tolvane-list tolvane-host; do
    [ "$("$root/usr/bin/$tool" --version)" = "$tool $version" ] || problem "$name: $tool --version"
  done
  # Completion as bash runs it at a TAB: the function that `complete` names for the command.
  local completions="$root/usr/share/bash-completion/completions"
  local got
  got=$(bash --norc -c '
    tab() { local f; f=$(complete -p "$1" | sed "s/.*-F \([^ ]*\).*/\1/"); COMP_WORDS=("$@");
            COMP_CWORD=$(($# - 1)); COMPREPLY=(); "$f"; echo "${COMPREPLY[*]}"; }
    source "$1/tolvane-list"; source "$1/tolvane-host"
    tab tolvane-list ch; tab tolvane-list check --j; tab tolvane-host --sc' bash "$completions")
  [ "$got" = "check
--json
--script" ] || problem "$name: completion gave '$got'"
  for page in man1/tolvane-host.1.gz man1/tolvane-list.1.gz man5/tolvane-list.5.gz; do
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || problem "$name: man warns about $page: $warnings"
  done
  if grep -rl -e "$source" -e "$build" "$root" >/dev/null 2>&1; then
    problem "$name: build or source paths in $(grep -rl -e "$source" -e "$build" "$root" | tr '\n' ' ')"
  fi
  echo "install: $name copy checked"
}

DESTDIR="$work/dest" cmake --install "$build" --prefix /usr --strip >/dev/null || problem "cmake --install failed"
check_copy "$work/dest" destdir

(cd "$build" && cpack -B "$work/pkg" >/dev/null) || problem "cpack failed"
deb=$(ls "$work"/pkg/tolvane_*_"$arch".deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  problem "no $arch package"
else
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || problem "package architecture"
  listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./##')
  for f in $layout; do grep -qx "$f" <<<"$listing" || problem "package lacks $f"; done
  dpkg-deb -x "$deb" "$work/deb"
  check_copy "$work/deb" package
  dpkg-deb -e "$deb" "$work/control"
  [ "$(cat "$work/control/conffiles" 2>/dev/null)" = "$home" ] ||
    problem "$home is not a configuration file of the package"
  lint=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges')
  [ -z "$lint" ] || problem "lintian: $lint"
  echo "install: $(basename "$deb"): lintian: no error, no warning"
  echo "install: $(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
fi
exit $fail
