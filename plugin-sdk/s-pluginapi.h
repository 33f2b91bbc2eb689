/* The whole contract between the host and a plug-in: the entry points a plug-in exports and
   the services the host exports. Plain C, usable from C and C++.

   The host loads the plug-in as a shared library, finds the entry points by name and calls
   them one at a time. The services are functions of the host process, bound by the dynamic
   loader when the plug-in is loaded. */
#ifndef S_PLUGINAPI_H
#define S_PLUGINAPI_H

#include "s-serverpublic.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The host's id for a plug-in. */
typedef int PluginID;

/* A plug-in's value handed back by the host: the result of initializeServerPlugin, timer data. */
typedef int32 AnyType;

/* A destination for a message: a handle the host gives out, meaning one or more users. */
typedef struct MsgDestination *MsgDest;

/* ---- Services: defined by the host, bound by the loader. ---- */

/* Reserves `size` bytes per user for the calling plug-in. */
void setPluginUserInfoSize(PluginID id, int size);
/* The plug-in's reserved bytes in `user`, valid from its creation through its deletion. */
void *getPluginUserInfo(PluginID id, ServerUserRec *user);
/* Arms one later handleTimerEvent carrying `timerDat`, `delay` host time units from now. */
void scheduleTimerEvent(PluginID id, AnyType timerDat, int delay);
/* Writes a log line: `tag` names the source, `fmt` is printf-style; `user` may be null. */
void FormattedLogMessage(ServerUserRec *user, const char *tag, const char *fmt, ...);
/* A destination meaning that one user. */
MsgDest toUser(ServerUserRec *user);
/* Sends `user`'s status (`flags`, `text`) to `dest`. */
void sendMsgUserStatus(MsgDest dest, ServerUserRec *user, int flags, const char *text);
/* Sends a printf-style global message. */
void WizGlobalMessage(const char *fmt, ...);
/* Sends a printf-style private message to `user`. */
void UserMessage(ServerUserRec *user, const char *fmt, ...);

/* ---- Entry points: exported by the plug-in under these names. ---- */

#if defined(__GNUC__)
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define PLUGIN_EXPORT
#endif

PLUGIN_EXPORT AnyType initializeServerPlugin(PluginID pluginID, int argc, char **argv);
PLUGIN_EXPORT void noteUserCreation(ServerState *state, AnyType pluginDat, ServerUserRec *user);
PLUGIN_EXPORT void noteUserRoomEntry(ServerState *state, AnyType pluginDat, ServerUserRec *user,
                                     ServerRoomRec *room);
PLUGIN_EXPORT void noteUserDeletion(ServerState *state, AnyType pluginDat, ServerUserRec *user);
PLUGIN_EXPORT void handleTimerEvent(ServerState *state, AnyType pluginDat, AnyType timerDat);

/* The entry points' types, for a host that looks them up by name. */
typedef AnyType (*InitializeServerPluginFn)(PluginID, int, char **);
typedef void (*NoteUserCreationFn)(ServerState *, AnyType, ServerUserRec *);
typedef void (*NoteUserRoomEntryFn)(ServerState *, AnyType, ServerUserRec *, ServerRoomRec *);
typedef void (*NoteUserDeletionFn)(ServerState *, AnyType, ServerUserRec *);
typedef void (*HandleTimerEventFn)(ServerState *, AnyType, AnyType);

#ifdef __cplusplus
}
#endif

#endif
