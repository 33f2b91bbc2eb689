// --wait: a change that finds the list being changed waits for the lock, then changes the list
// as the change before it left it; a wait that runs out says so and writes nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

#include "edit-harness.h"

namespace {

using namespace harness;  // the tests' own folder, runs and terminal

const std::string kAdded = "{D} {} \"10.7.7.7\"\n";  // what `add --rseed 7 --addr 10.7.7.7` writes

std::string add(const Folder &f, const std::string &options) {
  return std::string(TOLVANE_LIST) + " add '" + f.list + "' --rseed 7 --addr 10.7.7.7 " + options;
}

}  // namespace

TEST(Wait, AChangeThatWaitsIsMadeOnTheListTheChangeBeforeItInstalled) {
  for (const char *wait : {"--wait", "--wait=30", "--wait 30"}) {
    Folder f;
    const pid_t first = startWaitingEdit(f, "printf '%s' '" + kMended + "' >>\"$1\"");
    ASSERT_FALSE(f.strays().empty()) << "the first edit is under way";
    Outcome second;
    std::thread waiting([&] { second = shell(add(f, wait)); });
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
  EXPECT_EQ(second.out, "tolvane-list: " + f.list +
                            " is being changed by another tolvane-list (process " +
                            std::to_string(first) + "): waited 1 s in vain\n");
  EXPECT_GE(waited, 1.0) << "it waited";
  std::ofstream(f.dir + "/go") << "";
  waitpid(first, nullptr, 0);
  EXPECT_EQ(slurp(f.list), kGood);
}
