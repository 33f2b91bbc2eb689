// Linked into a test program whose tests run tolvane-list: before its tests begin, as root, the
// program and everything it starts enter a private /dev whose /dev/log is a socket of the
// program's own (private-dev-log.h), so that no change a test makes writes to the machine's log,
// and every test sees a system log, whether the machine has one or not.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "private-dev-log.h"

namespace {

const bool kEntered = [] {
  if (geteuid() != 0) return false;  // without root, no namespace: the machine's own /dev
  std::string why;
  if (enterPrivateDevLog(PrivateLog::Kept, why)) return true;
  std::fprintf(stderr, "no private system log (%s): the tool's lines go to the machine's\n",
               why.c_str());
  return false;
}();

}  // namespace
