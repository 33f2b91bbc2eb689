// The system log: one line for each change of a list, installed or refused, at the
// authentication-private facility, as the system's own account tools write theirs.
#ifndef TOLVANE_LIST_FILES_SYSTEM_LOG_H
#define TOLVANE_LIST_FILES_SYSTEM_LOG_H

#include <string>

#include "outcome.h"

namespace tl {

// Sends one line, as it is (the caller has made it one line), under the tag tolvane-list.
Outcome sendToSystemLog(const std::string &line);

}  // namespace tl

#endif
