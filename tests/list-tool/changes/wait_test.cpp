// --wait: a change that finds the list being changed waits for the lock, then changes the list
// as the change before it left it; a wait that runs out says so and writes nothing; at a
// terminal the wait is announced once, and Ctrl-C ends it with nothing written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

#include "build-paths.h"
#include "edit-harness.h"
#include "launch.h"

namespace {

using namespace harness;  // the tests' own folder, runs and terminal

const std::string kAdded = "{D} {} \"10.7.7.7\"\n";  // what `add --rseed 7 --addr 10.7.7.7` writes

std::string add(const Folder &f, const std::string &options) {
  return launched(TOLVANE_LIST) + " add '" + f.list + "' --rseed 7 --addr 10.7.7.7 " + options;
}

// The same add with a bare --wait right before the list's name, which is never taken for its
// seconds.
std::string addWaitingBeforeTheList(const Folder &f) {
  return launched(TOLVANE_LIST) + " add --wait '" + f.list + "' --rseed 7 --addr 10.7.7.7";
}

}  // namespace

TEST(Wait, AChangeThatWaitsIsMadeOnTheListTheChangeBeforeItInstalled) {
  for (const std::string wait : {"--wait", "--wait=30", "--wait FILE"}) {
    Folder f;
    const pid_t first = startWaitingEdit(f, "printf '%s' '" + kMended + "' >>\"$1\"");
    ASSERT_FALSE(f.strays().empty()) << "the first edit is under way";
    Outcome second;
    const std::string command = wait == "--wait FILE" ? addWaitingBeforeTheList(f) : add(f, wait);
    std::thread waiting([&] { second = shell(command); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::ofstream(f.dir + "/go") << "";  // the first edit ends, and installs
    int st = 0;
    waitpid(first, &st, 0);
    waiting.join();
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << wait << ": the first edit installs";
    EXPECT_EQ(second.status, 0) << wait << "\n" << second.out;
    EXPECT_EQ(slurp(f.list), kGood + kMended + kAdded) << wait << ": both changes are in";
    EXPECT_EQ(slurp(f.list + "-"), kGood + kMended) << wait;
    EXPECT_NE(second.out.find(f.list + ": changed: installed"), std::string::npos) << second.out;
  }
}

TEST(Wait, AWaitThatRunsOutSaysSoAndWritesNothing) {
  Folder f;
  const pid_t first = startWaitingEdit(f);
  ASSERT_FALSE(f.strays().empty()) << "the first edit is under way";
  const auto started = std::chrono::steady_clock::now();
  const Outcome second = shell(add(f, "--wait=1"));
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(second.status, 2);
  EXPECT_EQ(second.out, "tolvane-list: " + f.list + " is being changed by another tolvane-list (" +
                            lockHolder(f, first) + "): waited 1 s in vain\n");
  EXPECT_GE(waited, 1.0) << "it waited";
  std::ofstream(f.dir + "/go") << "";
  waitpid(first, nullptr, 0);
  EXPECT_EQ(slurp(f.list), kGood);
}

TEST(Wait, AtATerminalAWaitSaysOnceWhatItWaitsFor) {
  const struct {
    const char *option;
    std::string after;    // what the announcement says after "waiting for it to end"
    std::string keys;     // typed while it waits ("" for none)
    int status;           // the waiting change's exit status
    std::string content;  // the list at the end
  } cases[] = {
      {"--wait", "", "", 0, kGood + kMended + kAdded},
      {"--wait=30", " (at most 30 s)", "", 0, kGood + kMended + kAdded},
      {"--wait", "", "\x03", 128 + SIGINT, kGood + kMended},  // Ctrl-C gives up
  };
  for (const auto &c : cases) {
    Folder f;
    const pid_t first = startWaitingEdit(f, "printf '%s' '" + kMended + "' >>\"$1\"");
    ASSERT_FALSE(f.strays().empty()) << "the first edit is under way";
    const std::string said = "tolvane-list: " + f.list +
                             " is being changed by another tolvane-list (" + lockHolder(f, first) +
                             "): waiting for it to end" + c.after +
                             "; Ctrl-C gives up and writes nothing\r\n";
    Terminal t(f.dir, {}, {"add", f.list, "--rseed", "7", "--addr", "10.7.7.7", c.option});
    EXPECT_TRUE(t.expect(said)) << c.option << "\n" << t.screen();
    EXPECT_TRUE(t.runsAfter(0.3)) << c.option << ": it waits";
    // The keys end the wait before the first edit does; otherwise the first edit ends, and
    // installs, and the second follows it.
    Outcome second;
    if (!c.keys.empty()) {
      t.type(c.keys);
      second = t.finish();
    }
    std::ofstream(f.dir + "/go") << "";
    if (c.keys.empty()) second = t.finish();
    int st = 0;
    waitpid(first, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << c.option << ": the first edit installs";
    EXPECT_EQ(second.status, c.status) << c.option << "\n" << second.out;
    EXPECT_EQ(slurp(f.list), c.content) << c.option;
    EXPECT_EQ(second.out.find(said), second.out.rfind(said)) << "said once\n" << second.out;
    EXPECT_TRUE(f.strays().empty()) << c.option;
  }
}
