#!/usr/bin/env bash
# Checks the built plug-in: it exports exactly the five entry points, leaves the eight host
# services undefined for the loader, needs no library but libc, calls no allocator, and loads
# into old hosts: no imported glibc symbol version above the floor (GLIBC_2.3 on i386,
# GLIBC_2.3.4 on x86-64), and no SSE instruction on i386.
#   check-exports.sh PLUGIN.so ABI        (ABI: i386 or x86-64)
set -u
so=$1 abi=$2
fail=0
expect_exports="handleTimerEvent initializeServerPlugin noteUserCreation noteUserDeletion noteUserRoomEntry"
exports=$(nm -D --defined-only "$so" | awk '{print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$expect_exports" ]; then
  echo "exports: got '$exports', want '$expect_exports'"; fail=1
fi
undefined=$(nm -D --undefined-only "$so" | awk '{print $NF}' | sed 's/@.*//')
for s in setPluginUserInfoSize getPluginUserInfo scheduleTimerEvent FormattedLogMessage toUser \
         sendMsgUserStatus WizGlobalMessage UserMessage; do
  grep -qx "$s" <<<"$undefined" || { echo "host service $s is not left to the loader"; fail=1; }
done
for s in malloc calloc realloc free _Znwm _Znwj _ZdlPv __cxa_throw __gxx_personality_v0; do
  grep -qx "$s" <<<"$undefined" && { echo "the plug-in calls $s"; fail=1; }
done
needed=$(readelf -d "$so" | awk '/NEEDED/ {print $NF}' | tr -d '[]' | tr '\n' ' ' | sed 's/ $//')
if [ "$needed" != "libc.so.6" ]; then
  echo "needs: got '$needed', want 'libc.so.6'"; fail=1
fi

# The C library's symbol versions: each import at or below the floor, named when it is not.
case $abi in
  i386) floor=GLIBC_2.3 ;;
  x86-64) floor=GLIBC_2.3.4 ;;
  *) echo "unknown ABI '$abi'"; exit 2 ;;
esac
newest=GLIBC_2.0
while read -r sym; do
  version=${sym#*@}
  version=${version#@}
  case $version in GLIBC_[0-9]*) ;; *) continue ;; esac
  if [ "$(printf '%s\n%s\n' "$floor" "$version" | sort -V | tail -n 1)" != "$floor" ]; then
    echo "imports ${sym%%@*}@$version, newer than the floor $floor: hosts on older systems cannot load it"
    fail=1
  fi
  newest=$(printf '%s\n%s\n' "$newest" "$version" | sort -V | tail -n 1)
done < <(nm -D --undefined-only "$so" | awk '{print $NF}' | grep '@')

# i386 hosts may run on processors without SSE: no xmm, ymm or zmm register in any instruction.
if [ "$abi" = i386 ]; then
  sse=$(objdump -d --no-show-raw-insn "$so" |
        awk '/^[0-9a-f]+ <.*>:$/ {fn=$2} /%[xyz]mm[0-9]/ {print fn": "$0}' | head -n 5)
  if [ -n "$sse" ]; then
    echo "uses SSE registers on i386:"
    echo "$sse"
    fail=1
  fi
fi
if [ $fail -eq 0 ]; then
  echo "exports: $exports"
  echo "needs: $needed"
  echo "newest glibc symbol version: $newest (floor $floor)"
fi
exit $fail
