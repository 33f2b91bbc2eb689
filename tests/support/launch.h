// How the test programs start this build's programs (tolvane-list, tolvane-host): through the
// build's launcher, TOLVANE_LAUNCH (tests/support/launch.in), which runs them natively or under
// the emulator the build chose, never directly: an i386 program started by a test program
// that itself runs under qemu-user would otherwise meet a kernel that cannot start it.
#ifndef TOLVANE_TESTS_SUPPORT_LAUNCH_H
#define TOLVANE_TESTS_SUPPORT_LAUNCH_H

#include <unistd.h>

#include <string>
#include <vector>

#include "build-paths.h"

// Whether this build's programs run natively here, or under qemu-user: a test bound to their
// timing (a race) cannot show its fault under the emulator, and says SKIPPED there.
constexpr bool kRunsNatively = TOLVANE_RUNS_NATIVELY != 0;

// The start of a shell command line that runs `program`.
inline std::string launched(const std::string &program) {
  return std::string(TOLVANE_LAUNCH) + " " + program;
}

// Replaces this process with `program`, given `args` (its argv[1] on), started through the
// launcher. Returns only when the launcher cannot be started.
inline void execLaunched(const std::string &program, const std::vector<std::string> &args) {
  std::vector<char *> argv;
  const std::string launcher = TOLVANE_LAUNCH;
  argv.push_back(const_cast<char *>(launcher.c_str()));  // NOLINT: execv takes char *
  argv.push_back(const_cast<char *>(program.c_str()));   // NOLINT
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));  // NOLINT
  argv.push_back(nullptr);
  execv(launcher.c_str(), argv.data());
}

#endif
