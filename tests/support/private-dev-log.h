// A system log of the test's own. The tool sends a line to /dev/log for every change it makes or
// refuses, and says when it cannot; a test must neither write lines into the machine's log nor
// depend on whether the machine has one. So a test enters a mount namespace of its own whose
// /dev is the machine's, device for device, but for /dev/log: a socket of the test's (or, to
// show what a machine without a system log does, none at all, or a socket that takes no line).
#ifndef TOLVANE_TESTS_PRIVATE_DEV_LOG_H
#define TOLVANE_TESTS_PRIVATE_DEV_LOG_H

#include <string>

// What /dev/log is in the private /dev.
enum class PrivateLog {
  Kept,      // a socket of the test's own; what arrives is read and dropped
  Missing,   // nothing: no system log
  Refusing,  // a socket file that nothing listens on: connect() and send() fail with
             // ECONNREFUSED, as where the system log has stopped
};

// From now on this process and every process it starts see the private /dev. What arrives at
// the socket is read by a child process of the caller's, which ends with the thread that called
// (so a program that exec()s next keeps its process). Needs root; false, with the reason in
// `why`, when it cannot be made.
bool enterPrivateDevLog(PrivateLog log, std::string &why);

// Enters the private /dev with a socket at /dev/log, runs the command (argv), and writes each
// line that reaches the socket to the file descriptor `lines` as "<PRI>MESSAGE\n" (the time
// stamp and the tag with its process id left out), those sent before the command ended
// included. Returns the command's exit status (128 + N for a signal N), or -1 with `why`.
int runWithPrivateLog(char *const argv[], int lines, std::string &why);

#endif
