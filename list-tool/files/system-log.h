// The system log: one line for each change of a list, installed or refused, at the
// authentication-private facility, as the system's own account tools write theirs. The line is
// sent to the system log's socket, /dev/log, directly, so that a line that does not arrive is
// known: syslog(3) never says. A change connects before it acts, so that one that must not be
// made off the record knows beforehand whether a system log is there to take its line.
#ifndef TOLVANE_LIST_FILES_SYSTEM_LOG_H
#define TOLVANE_LIST_FILES_SYSTEM_LOG_H

#include <string>

#include "files/descriptors.h"
#include "outcome.h"

namespace tl {

class SystemLog {
 public:
  // Connects to the system log; trouble saying why when none takes lines: "no system log at
  // /dev/log", "the system log at /dev/log is not running", ...
  Outcome connect();
  // Sends one line, as it is (the caller has made it one line, within the bound a datagram
  // has), under the tag tolvane-list; connects first when not connected, and once again when
  // the system log went away meanwhile. Trouble saying why when it was not taken.
  Outcome send(const std::string &line);

 private:
  UniqueFd fd_;
  int type_ = 0;
};

}  // namespace tl

#endif
