// Runs a command with a system log of its own (private-dev-log.h), for the tests that are
// scripts: the command and everything it starts send their log lines to a socket of the test's.
//   tolvane-private-log COMMAND [ARG...]             lines dropped; the command takes this
//                                                    program's process, as exec does
//   tolvane-private-log --log FILE COMMAND [ARG...]  each line appended to FILE, "<PRI>MESSAGE"
//   tolvane-private-log --no-log COMMAND [ARG...]    no /dev/log at all
//   tolvane-private-log --refuse COMMAND [ARG...]    a /dev/log that takes no line: a socket
//                                                    file nothing listens on (ECONNREFUSED)
// Exit status: the command's (128 + N for a signal N); 125 when the private /dev cannot be made.
// Without root there is none to make: the test says SKIPPED and exits with 77 (a test program
// still lists its tests, which runs nothing).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "private-dev-log.h"

int main(int argc, char **argv) {
  int first = 1;
  std::string option = argc > 1 ? argv[1] : "", file, why;
  if (option == "--log" && argc > 2) {
    file = argv[2];
    first = 3;
  } else if (option == "--no-log" || option == "--refuse") {
    first = 2;
  }
  if (first >= argc) {
    std::fputs("usage: tolvane-private-log [--log FILE | --no-log | --refuse] COMMAND [ARG...]\n",
               stderr);
    return 125;
  }
  if (geteuid() != 0) {
    for (int i = first; i < argc; ++i) {
      if (std::strcmp(argv[i], "--gtest_list_tests") == 0) {
        execvp(argv[first], argv + first);
        std::fprintf(stderr, "tolvane-private-log: %s: %s\n", argv[first], std::strerror(errno));
        return 125;
      }
    }
    std::fputs("SKIPPED: a /dev/log of the test's own needs a mount namespace, which needs root\n",
               stderr);
    return 77;
  }
  if (!file.empty()) {
    const int lines = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int status = lines < 0 ? -1 : runWithPrivateLog(argv + first, lines, why);
    if (lines < 0) why = file + ": " + std::strerror(errno);
    if (status >= 0) return status;
  } else {
    const PrivateLog log = option == "--no-log"   ? PrivateLog::Missing
                           : option == "--refuse" ? PrivateLog::Refusing
                                                  : PrivateLog::Kept;
    if (enterPrivateDevLog(log, why)) {
      execvp(argv[first], argv + first);
      why = std::string(argv[first]) + ": " + std::strerror(errno);
    }
  }
  std::fprintf(stderr, "tolvane-private-log: %s\n", why.c_str());
  return 125;
}
