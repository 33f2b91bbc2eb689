// Tolvane: recognises the server's registered host administrators from a list file.
// The five exported entry points; everything else in the library is hidden.
#include "s-pluginapi.h"
#include "tv-list.h"
#include "tv-match.h"

namespace {

// The list file's path: the host's argument string, borrowed. Null when no path was given.
const char *config = nullptr;

// The administrator table, rebuilt by every reload.
Tolvane Recs[TV_NBR_RECS];
uint8 nbrRecs = 0;
char iBfr[TV_BFR_SIZE];
char ioBfr[TV_IO_SIZE];  // the list file's stream buffer, so that a reload allocates none

// The log source tag: the plug-in's name and 0xA9, the copyright sign in Latin-1.
const char Tag[] = "Tolvane\xA9";

// Values of the per-user byte.
enum Checked : uint8 { NOT_EXAMINED = 0, EXAMINED = 1, RECOGNISED = 2 };

enum : int { RELOAD_DELAY = 150 };
enum : uint16 { HOST_ADMIN_FLAGS = 0x0003 };

// The user's name as a C string: a NUL goes after the last character when there is room
// (length 30 or less); a longer length byte leaves the record as it is. Printed with ".31".
const char *terminateName(ServerUserRec *user) {
  uint8 *name = user->user.name;
  if (name[0] <= 30) name[name[0] + 1] = 0;
  return reinterpret_cast<const char *>(name + 1);
}

}  // namespace

AnyType initializeServerPlugin(PluginID pluginID, int argc, char **argv) {
  setPluginUserInfoSize(pluginID, 1);
  if (argc > 1) config = argv[1];
  FormattedLogMessage(nullptr, Tag, "v2.0 (Limit: %d) by the Tolvane developers", TV_NBR_RECS);
  scheduleTimerEvent(pluginID, 0, 0);
  return pluginID;
}

void noteUserCreation(ServerState * /*state*/, AnyType pluginDat, ServerUserRec *user) {
  *static_cast<uint8 *>(getPluginUserInfo(pluginDat, user)) = NOT_EXAMINED;
}

void handleTimerEvent(ServerState * /*state*/, AnyType pluginDat, AnyType /*timerDat*/) {
  tvReloadFile(config, iBfr, Recs, &nbrRecs, ioBfr);
  scheduleTimerEvent(pluginDat, 0, RELOAD_DELAY);
}

// Examines a logged-on user once per connection, at the first room entry.
void noteUserRoomEntry(ServerState * /*state*/, AnyType pluginDat, ServerUserRec *user,
                       ServerRoomRec * /*room*/) {
  uint8 *checked = static_cast<uint8 *>(getPluginUserInfo(pluginDat, user));
  if (*checked != NOT_EXAMINED) return;
  if (user->loggedOn == 0) return;  // examined again at a later entry, once logged on
  *checked = EXAMINED;
  const TvProbe probe =
      tvProbe(user->crc, user->counter, user->puidCtr, user->puidCRC, user->feIPAddr);
  if (tvFindRecord(Recs, nbrRecs, &probe) < 0) return;
  *checked = RECOGNISED;
  user->flags |= HOST_ADMIN_FLAGS;
  const char *name = terminateName(user);
  FormattedLogMessage(user, Tag, "(Reigstered Host Admin)");
  sendMsgUserStatus(toUser(user), user, user->flags, "");
  WizGlobalMessage("Attention on deck! %0.31s has come aboard!", name);
  UserMessage(user, "Welcome Host Admin %0.31s!", name);
}

// Announces a recognised administrator's departure.
void noteUserDeletion(ServerState * /*state*/, AnyType pluginDat, ServerUserRec *user) {
  const uint8 *checked = static_cast<const uint8 *>(getPluginUserInfo(pluginDat, user));
  if (*checked <= EXAMINED) return;
  const char *name = terminateName(user);
  WizGlobalMessage("%0.31s has left the building!", name);
}
