// The system log: one line for each change of a list, installed or refused, at the
// authentication-private facility, as the system's own account tools write theirs. The line is
// sent to the system log's socket, /dev/log, directly, so that a line that does not arrive is
// known: syslog(3) never says.
#ifndef TOLVANE_LIST_FILES_SYSTEM_LOG_H
#define TOLVANE_LIST_FILES_SYSTEM_LOG_H

#include <string>

#include "outcome.h"

namespace tl {

// Sends one line, as it is (the caller has made it one line), under the tag tolvane-list.
// Trouble saying why when it was not taken: "no system log at /dev/log", ...
Outcome sendToSystemLog(const std::string &line);

}  // namespace tl

#endif
