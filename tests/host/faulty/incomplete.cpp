// A plug-in that lacks the entry point noteUserDeletion.
#include "s-pluginapi.h"

AnyType initializeServerPlugin(PluginID pluginID, int, char **) {
  return pluginID;
}
void noteUserCreation(ServerState *, AnyType, ServerUserRec *) {}
void noteUserRoomEntry(ServerState *, AnyType, ServerUserRec *, ServerRoomRec *) {}
void handleTimerEvent(ServerState *, AnyType, AnyType) {}
