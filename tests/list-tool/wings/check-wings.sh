#!/usr/bin/env bash
# scripts/check-wings on a copy of list-tool/: today's sources pass, run from the copy or given
# its path; then each crossing of the wings, one line added to the copy, fails the check, which
# names the file, the line and the rule, and nothing else; lines that cross nothing pass. Usage: check-wings.sh SOURCE_DIR
set -euo pipefail
src=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-wings.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

# A copy of the working sources (what is committed and what is not), with the check beside them.
copy() {
  mkdir -p "$1/scripts"
  cp -a "$src/list-tool" "$1/"
  cp "$src/scripts/check-wings" "$1/scripts/"
}

copy "$work/today"
for how in here path; do
  rc=0
  if [ "$how" = here ]; then
    (cd "$work/today" && scripts/check-wings) >"$work/out" 2>&1 || rc=$?
  else
    "$work/today/scripts/check-wings" "$work/today" >"$work/out" 2>&1 || rc=$?
  fi
  if [ "$rc" -ne 0 ] || [ -s "$work/out" ]; then
    echo "FAIL: today's sources, checked $how: exit $rc"
    cat "$work/out"
    failed=1
  fi
done

rc=0
"$work/today/scripts/check-wings" "$work/nothing" >"$work/out" 2>&1 || rc=$?
if [ "$rc" -ne 2 ] || [ "$(cat "$work/out")" != "check-wings: no list-tool/ in $work/nothing" ]; then
  echo "FAIL: a folder without list-tool/: exit $rc"
  cat "$work/out"
  failed=1
fi

content='content/ never includes files/ or change/'
files='files/ includes no content/ or change/'
prints='files/ prints nothing (it returns what it found, and the voice says it)'
formats='files/ formats no text (it returns facts: content/ or change/ word them)'
front='commands/, cli and main.cpp include no files/, and from change/ only change/change.h'
header='change/change.h includes no files/ header'
shared="what every wing includes at list-tool/'s top includes no wing"
joins='only change/ joins content/ and files/'

# FILE (below list-tool/) | LINE added at its end ("\n" between two lines) | the rule it breaks,
# or "-" for a line that crosses nothing.
cases=(
  "content/voice.cpp|#include \"files/guard.h\"|$content"
  "content/report.h|#include \"change/run.h\"|$content"
  "content/lines.cpp|#include \"../files/paths.h\"|$content"
  "content/lines.cpp|#  include <change/change.h>|$content"
  "files/lock.cpp|#include \"content/shown.h\"|$files"
  "files/guard.h|#include \"change/change.h\"|$files"
  "files/paths.cpp|#include \"../content/voice.h\"|$files"
  "files/paths.cpp|  std::printf(\"%s\\\\n\", path.c_str());|$prints"
  "files/install.cpp|  std::cerr << path;|$prints"
  "files/install.cpp|  fputs(line.c_str(), stderr);|$prints"
  "files/lock.cpp|  std::puts(\"x\");  // wings: not speech: a marker never excuses printing|$prints"
  "files/lock.cpp|  const std::string n = std::to_string(links);|$formats"
  "files/guard.cpp|  std::ostringstream said;|$formats"
  "files/editor.cpp|  std::snprintf(buf, sizeof buf, \"%d\", line);|$formats"
  "files/editor.cpp|  std::snprintf(buf, sizeof buf, \"%d\", line);  // wings: not speech|$formats"
  "commands/add.cpp|#include \"files/lock.h\"|$front"
  "commands/check.cpp|#include \"change/run.h\"|$front"
  "commands/command.h|#include \"../change/judgement.h\"|$front"
  "cli.h|#include \"files/accounts.h\"|$front"
  "cli.cpp|#include <files/paths.h>|$front"
  "main.cpp|#include \"change/judgement.h\"|$front"
  "change/change.h|#include \"files/guard.h\"|$header"
  "outcome.h|#include \"files/descriptors.h\"|$shared"
  "outcome.h|#include \"content/voice.h\"|$shared"
  "extra/joins.cpp|#include \"content/report.h\"\\n#include \"files/guard.h\"|$joins"
  "files/lock.cpp|  s += std::to_string(getpid());  // wings: not speech: the lock's bytes|-"
  "commands/add.cpp|#include \"change/change.h\"|-"
  "cli.h|#include \"content/voice.h\"|-"
  "change/run.cpp|#include \"files/guard.h\"|-"
  "change/change.h|#include \"content/voice.h\"|-"
  "content/voice.cpp|#include \"outcome.h\"|-"
  "files/lock.cpp|#include \"files/paths.h\"|-"
  "extra/one-wing.cpp|#include \"content/report.h\"|-"
)

# Each case on the one copy of today's sources: its line added, checked, and taken out again.
tree="$work/today"
n=0
for c in "${cases[@]}"; do
  IFS='|' read -r file line rule <<<"$c"
  n=$((n + 1))
  target="$tree/list-tool/$file"
  made=""
  if [ -e "$target" ]; then
    cp -p "$target" "$work/kept"
  else
    made=$(dirname "$target")
    mkdir -p "$made"
  fi
  printf '%b\n' "$line" >>"$target"
  at=$(wc -l <"$target")
  last=$(tail -n 1 "$target")
  rc=0
  (cd "$tree" && scripts/check-wings) >"$work/out" 2>"$work/err" || rc=$?
  if [ -n "$made" ]; then rm -rf "$made"; else cp -p "$work/kept" "$target"; fi
  if [ "$rule" = - ]; then
    want_rc=0 want_out='' want_err=''
  else
    want_rc=1
    want_out="list-tool/$file:$at: $rule: $(sed 's/^[[:space:]]*//' <<<"$last")"
    want_err="check-wings: the list tool's wings cross (see list-tool/ in README.md)"
  fi
  if [ "$rc" -ne "$want_rc" ] || [ "$(cat "$work/out")" != "$want_out" ] ||
     [ "$(cat "$work/err")" != "$want_err" ]; then
    echo "FAIL: $file + $line: exit $rc (want $want_rc)"
    echo "  want: $want_out"
    sed 's/^/  got:  /' "$work/out" "$work/err"
    failed=1
  fi
done

[ "$failed" -eq 0 ] && echo "check-wings: today's sources pass; $n lines added, each judged as it should be"
exit "$failed"
