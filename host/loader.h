// Loading a plug-in as the server does: dlopen, then the five entry points by name.
#ifndef TOLVANE_HOST_LOADER_H
#define TOLVANE_HOST_LOADER_H

#include <string>

#include "s-pluginapi.h"

namespace host {

struct Plugin {
  void *handle = nullptr;
  InitializeServerPluginFn initializeServerPlugin = nullptr;
  NoteUserCreationFn noteUserCreation = nullptr;
  NoteUserRoomEntryFn noteUserRoomEntry = nullptr;
  NoteUserDeletionFn noteUserDeletion = nullptr;
  HandleTimerEventFn handleTimerEvent = nullptr;
};

// Loads the plug-in at `path` (a path without '/' is taken in the current folder).
// Returns false with a message when it cannot be loaded or lacks an entry point.
bool loadPlugin(const std::string &path, Plugin &plugin, std::string &err);

}  // namespace host

#endif
