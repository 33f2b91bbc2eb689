// Runs the tool where the system log is a socket of the test's own: a private mount namespace
// whose /dev is a fresh tmpfs holding a datagram socket at /dev/log, where syslog(3) sends, and
// the usual devices (null, zero, tty, ...). No line reaches the machine's own log, and no logger
// is needed.
#ifndef TOLVANE_TESTS_PRIVATE_LOG_H
#define TOLVANE_TESTS_PRIVATE_LOG_H

#include <string>
#include <vector>

struct Logged {
  int status = -1;
  std::string output;            // what the tool printed, standard error after standard output
  std::vector<std::string> log;  // each message sent to /dev/log, with its priority
};

// Runs the shell command in a private mount namespace with its own /dev/log, and gathers what
// reaches the log: "<PRI>MESSAGE", the time stamp and the tag with its process id left out.
// Needs root.
Logged logged(const std::string &command);

#endif
