// Every change of a list on record: one line in the system log for each change installed or
// refused, with the authentication-private facility, as the system's own account tools write
// theirs. Who made it (the user running the tool, and under sudo the user who ran sudo), which
// list, and each record added, removed or moved with its line and comment.
#ifndef TOLVANE_LIST_AUDIT_LOG_H
#define TOLVANE_LIST_AUDIT_LOG_H

#include <string>
#include <vector>

#include "invoker.h"
#include "table-diff.h"

namespace tl {

// "LIST: VERB by WHO: installed: + line 20 slot 4 (...); - line 18 slot 3 (...)"
void logInstalled(const Invoker &who, const std::string &verb, const std::string &list,
                  const std::vector<TableChange> &changes);

// "LIST: VERB by WHO: refused: MESSAGE [CODE]"
void logRefused(const Invoker &who, const std::string &verb, const std::string &list,
                const std::string &code, const std::string &message);

// The text of one change, as the log line holds it: "+ line 20 slot 4 (registration seed
// 366, PUID seed any, 172.16.0.0 to 172.16.255.255 # Kay)".
std::string loggedChange(const TableChange &c);

}  // namespace tl

#endif
