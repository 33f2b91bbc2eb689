// Where this build's programs are, and the tree's fixtures. CMake writes them into one unit of
// each build's own (tests/CMakeLists.txt: build-paths.cpp), never onto a test unit's command
// line: no other unit's compile names the checkout, so the compiler cache shares the test units
// between checkouts. The names are those the test programs have always used.
#ifndef TOLVANE_TESTS_SUPPORT_BUILD_PATHS_H
#define TOLVANE_TESTS_SUPPORT_BUILD_PATHS_H

namespace tolvane_build {
extern const char *const kFixtures;    // tests/fixtures of the source tree
extern const char *const kExample;     // examples/admins.list of the source tree
extern const char *const kLaunch;      // the build's launcher, tolvane-launch
extern const char *const kList;        // the build's tolvane-list
extern const char *const kHost;        // the build's tolvane-host
extern const char *const kPlugin;      // the build's tolvane.so
extern const char *const kPrivateLog;  // the build's tolvane-private-log
}  // namespace tolvane_build

// NOLINTBEGIN(cppcoreguidelines-macro-usage): the test programs' long-standing names
#define TOLVANE_FIXTURES (tolvane_build::kFixtures)
#define TOLVANE_EXAMPLE (tolvane_build::kExample)
#define TOLVANE_LAUNCH (tolvane_build::kLaunch)
#define TOLVANE_LIST (tolvane_build::kList)
#define TOLVANE_HOST (tolvane_build::kHost)
#define TOLVANE_PLUGIN (tolvane_build::kPlugin)
#define TOLVANE_PRIVATE_LOG_PROGRAM (tolvane_build::kPrivateLog)
// NOLINTEND(cppcoreguidelines-macro-usage)

#endif
