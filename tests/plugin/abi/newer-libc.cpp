// A plug-in that loads only into new hosts: it calls fstat, which this toolchain binds to
// glibc 2.33, and on i386 it is built to use SSE. The ABI check must refuse it.
#include <sys/stat.h>

#include "s-pluginapi.h"

namespace {
const char *config = nullptr;
volatile double seconds = 0;  // SSE arithmetic where the compiler is allowed it
}  // namespace

AnyType initializeServerPlugin(PluginID pluginID, int argc, char **argv) {
  setPluginUserInfoSize(pluginID, 1);
  if (argc > 1) config = argv[1];
  scheduleTimerEvent(pluginID, 0, 0);
  return pluginID;
}

void noteUserCreation(ServerState * /*state*/, AnyType pluginDat, ServerUserRec *user) {
  *static_cast<uint8 *>(getPluginUserInfo(pluginDat, user)) = 0;
}

void noteUserRoomEntry(ServerState * /*state*/, AnyType /*pluginDat*/, ServerUserRec * /*user*/,
                       ServerRoomRec * /*room*/) {}

void noteUserDeletion(ServerState * /*state*/, AnyType /*pluginDat*/, ServerUserRec * /*user*/) {}

void handleTimerEvent(ServerState * /*state*/, AnyType pluginDat, AnyType /*timerDat*/) {
  struct stat st {};
  if (config != nullptr && fstat(0, &st) == 0) seconds = seconds * 1.5 + 0.25;
  scheduleTimerEvent(pluginDat, 0, 150);
}
