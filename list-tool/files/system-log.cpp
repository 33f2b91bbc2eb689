#include "files/system-log.h"

#include <syslog.h>

namespace tl {

Outcome sendToSystemLog(const std::string &line) {
  openlog("tolvane-list", LOG_PID, LOG_AUTHPRIV);
  syslog(LOG_NOTICE, "%s", line.c_str());
  closelog();
  return done();
}

}  // namespace tl
