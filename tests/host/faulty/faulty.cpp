// A plug-in that breaks one rule of the host, chosen by its first argument, so that the tests can
// see the host catch it: guard, wrongid, record, name, stale, return, other.
#include <stddef.h>
#include <string.h>

#include "s-pluginapi.h"

namespace {

enum Fault { NONE, GUARD, WRONG_ID, RECORD, NAME, STALE, RETURN, OTHER };
Fault fault = NONE;
ServerUserRec *deleted = nullptr;
ServerUserRec *firstUser = nullptr;  // the scenario keeps this one alive

}  // namespace

AnyType initializeServerPlugin(PluginID pluginID, int argc, char **argv) {
  setPluginUserInfoSize(pluginID, 1);
  const char *f = argc > 1 ? argv[1] : "";
  if (strcmp(f, "guard") == 0) fault = GUARD;
  if (strcmp(f, "wrongid") == 0) fault = WRONG_ID;
  if (strcmp(f, "record") == 0) fault = RECORD;
  if (strcmp(f, "name") == 0) fault = NAME;
  if (strcmp(f, "stale") == 0) fault = STALE;
  if (strcmp(f, "return") == 0) fault = RETURN;
  if (strcmp(f, "other") == 0) fault = OTHER;
  scheduleTimerEvent(pluginID, 0, 10);
  return fault == RETURN ? pluginID + 1 : pluginID;
}

void noteUserCreation(ServerState *, AnyType pluginDat, ServerUserRec *user) {
  auto *b =
      static_cast<uint8 *>(getPluginUserInfo(fault == WRONG_ID ? pluginDat + 1 : pluginDat, user));
  b[0] = 0;
  if (fault == GUARD) b[1] = 0x55;  // one past the reserved byte
  if (firstUser == nullptr) firstUser = user;
}

void noteUserRoomEntry(ServerState *, AnyType pluginDat, ServerUserRec *user, ServerRoomRec *) {
  getPluginUserInfo(pluginDat, user);
  if (fault == RECORD) user->crc ^= 1u;
  if (fault == OTHER && firstUser != user) firstUser->counter ^= 1u;  // another user's record
  // Terminates even a 31-character name, writing the first byte past the name.
  if (fault == NAME && user->user.name[0] <= 31) {
    uint8 *name = reinterpret_cast<uint8 *>(user) + offsetof(ServerUserRec, user.name);
    name[name[0] + 1] = 0;
  }
  user->flags |= 0x0003;  // allowed
}

void noteUserDeletion(ServerState *, AnyType pluginDat, ServerUserRec *user) {
  getPluginUserInfo(pluginDat, user);
  deleted = user;
}

void handleTimerEvent(ServerState *, AnyType pluginDat, AnyType) {
  if (fault == STALE && deleted != nullptr) getPluginUserInfo(pluginDat, deleted);
  scheduleTimerEvent(pluginDat, 0, 10);
}
