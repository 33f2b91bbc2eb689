#!/usr/bin/env bash
# Checks the built plug-in: it exports exactly the five entry points, leaves the eight host
# services undefined for the loader, needs no library but libc, and calls no allocator.
set -u
so=$1
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
if [ $fail -eq 0 ]; then
  echo "exports: $exports"
  echo "needs: $needed"
fi
exit $fail
