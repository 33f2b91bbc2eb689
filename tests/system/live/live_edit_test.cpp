// Live edits: another process rewrites the list file while the stand-in host reloads it
// thousands of times. By rename, and through tolvane-list's add, remove and edit, every reload
// sees a whole table, the old or the new, never a mix and never an empty one; in place, the
// plug-in may see half a file, but nothing crashes and no rule is broken.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "build-paths.h"
#include "launch.h"

namespace {

constexpr int kReloads = 2000;
constexpr int kProbes = 10;  // users 1 to 5 are in list A, 6 to 10 in list B
constexpr unsigned kMask = 0x3E71D5A4u;

// Digit letters of 1 to 10: F G H A B C D M N O.
const char *const kLetters[kProbes + 1] = {"", "F", "G", "H", "A", "B", "C", "D", "M", "N", "O"};

// A list of five administrators among comment lines, so that a reload takes many reads.
std::string list(int first) {
  std::string s;
  for (int i = 0; i < 5; ++i) {
    for (int c = 0; c < 6; ++c)
      s += "# padding line, so that a reload takes its time " + std::to_string(c) + "\n";
    s += std::string("{") + kLetters[first + i] + "} {} \"1.2.3.4\"\n";
  }
  return s;
}

enum class Mode { Rename, InPlace, Tool };

// Changes `path` with tolvane-list in a loop until stopped, or for 60 seconds at most: from
// list A (probes 1 to 5), add probe 6, remove probe 1, edit to list B (6 to 10), edit back to A.
// Says on `ready` when it has been round once.
[[noreturn]] void toolWriter(const std::string &path, int ready) {
  const std::string dir = path.substr(0, path.rfind('/'));
  std::ofstream(dir + "/a.list") << list(1);
  std::ofstream(dir + "/b.list") << list(6);
  const std::string tool = launched(TOLVANE_LIST) + " ";
  const std::string quiet = " >/dev/null 2>&1";
  const std::string steps[] = {
      tool + "add " + path + " --rseed 6 --addr 1.2.3.4" + quiet,
      tool + "remove " + path + " 7" + quiet,  // probe 1's record is line 7
      "EDITOR='cp " + dir + "/b.list' " + tool + "edit " + path + quiet,
      "EDITOR='cp " + dir + "/a.list' " + tool + "edit " + path + quiet,
  };
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (long k = 0; std::chrono::steady_clock::now() < until; ++k) {
    if (std::system(steps[k % 4].c_str()) != 0) _exit(2);  // NOLINT(cert-env33-c)
    if (k == 3 && (write(ready, "r", 1) != 1 || close(ready) != 0)) _exit(5);
  }
  _exit(0);
}

// Rewrites `path` with list A and list B in turn until stopped, or for 60 seconds at most.
// Says on `ready` when it has written both lists once.
[[noreturn]] void writer(const std::string &path, Mode mode, int ready) {
  const std::string a = list(1), b = list(6), tmp = path + ".new";
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (long k = 0; std::chrono::steady_clock::now() < until; ++k) {
    const std::string &text = k % 2 == 0 ? a : b;
    const std::string &target = mode == Mode::Rename ? tmp : path;
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) _exit(2);
    const size_t half = text.size() / 2;
    if (write(fd, text.data(), half) < 0 || write(fd, text.data() + half, text.size() - half) < 0)
      _exit(3);
    close(fd);
    if (mode == Mode::Rename && rename(tmp.c_str(), path.c_str()) != 0) _exit(4);
    if (k == 1 && (write(ready, "r", 1) != 1 || close(ready) != 0)) _exit(5);
  }
  _exit(0);
}

struct Outcome {
  int exitStatus = -1;
  int onlyA = 0, onlyB = 0, mixed = 0, none = 0;
  int added = 0, removed = 0;  // list A with probe 6 added; then without probe 1
  std::string tail;
};

// Plays kReloads reloads with the writer running, each followed by the ten probe users.
Outcome play(Mode mode) {
  char dir[] = "/tmp/tolvane-live-XXXXXX";
  Outcome o;
  if (mkdtemp(dir) == nullptr) return o;
  const std::string path = std::string(dir) + "/admins.list";
  const std::string script = std::string(dir) + "/live.session";
  std::ofstream(path) << list(1);
  {
    std::ofstream s(script);
    for (int r = 0; r < kReloads; ++r) {
      s << (r == 0 ? "wait 0\n" : "wait 150\n");
      for (int p = 1; p <= kProbes; ++p) {
        s << "user p" << p << " crc=" << (kMask ^ static_cast<unsigned>(p)) << " ip=1.2.3.4\n"
          << "logon p" << p << "\nenter p" << p << " r\ndelete p" << p << "\n";
      }
    }
  }
  int ready[2];
  if (pipe(ready) != 0) return o;
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    if (mode == Mode::Tool) toolWriter(path, ready[1]);
    writer(path, mode, ready[1]);
  }
  close(ready[1]);
  char r = 0;
  if (read(ready[0], &r, 1) != 1) return o;  // the writer is under way
  close(ready[0]);
  // The host plays the scenario from a pipe; through the list tool, whose changes each take a
  // few disk syncs, a reload every millisecond, so that the changes race the reloads.
  const std::string transcript = std::string(dir) + "/host.out";
  const std::string cmd =
      launched(TOLVANE_HOST) + " " + TOLVANE_PLUGIN + " " + path + " >" + transcript + " 2>&1";
  FILE *host = popen(cmd.c_str(), "w");  // NOLINT(cert-env33-c): runs the host as a user would
  {
    std::ifstream in(script);
    std::string l, reload;
    while (host != nullptr && std::getline(in, l)) {
      if (l.compare(0, 5, "wait ") == 0 && !reload.empty()) {
        std::fputs(reload.c_str(), host);
        std::fflush(host);
        reload.clear();
        if (mode == Mode::Tool) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      reload += l + "\n";
    }
    if (host != nullptr) std::fputs(reload.c_str(), host);
  }
  o.exitStatus = host != nullptr ? pclose(host) : -1;
  std::ifstream out(transcript);
  std::string l;
  unsigned seen = 0;  // bit p: probe p was recognised since the last reload
  bool started = false;
  auto close = [&] {
    if (!started) return;
    const unsigned a = seen & 0x3Eu, b = seen & 0x7C0u;
    if (seen == 0x7Eu)
      ++o.added;
    else if (seen == 0x7Cu)
      ++o.removed;
    else if (a == 0x3Eu && b == 0)
      ++o.onlyA;
    else if (b == 0x7C0u && a == 0)
      ++o.onlyB;
    else if (seen == 0)
      ++o.none;
    else
      ++o.mixed;
  };
  while (std::getline(out, l)) {
    if (l.compare(0, 16, "handleTimerEvent") == 0) {
      close();
      started = true;
      seen = 0;
    }
    int n = 0;
    if (std::sscanf(l.c_str(), "  [global] Attention on deck! p%d has", &n) == 1 && n > 0 &&
        n <= kProbes)
      seen |= 1u << n;
    if (l.compare(0, 4, "end ") == 0 || l.compare(0, 10, "violation:") == 0) o.tail += l + "\n";
  }
  close();
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  std::remove(path.c_str());
  std::remove((path + ".new").c_str());
  std::remove(script.c_str());
  std::remove(transcript.c_str());
  for (const char *f : {"/a.list", "/b.list", "/.admins.list.lock", "/admins.list-"})
    std::remove((std::string(dir) + f).c_str());
  rmdir(dir);
  return o;
}

}  // namespace

TEST(LiveEdits, ByRenameEveryReloadSeesTheOldListOrTheNewOne) {
  const Outcome o = play(Mode::Rename);
  EXPECT_EQ(o.exitStatus, 0) << o.tail;
  EXPECT_EQ(o.tail,
            "end at " + std::to_string(150 * (kReloads - 1)) + ": 0 user(s), 0 violation(s)\n");
  EXPECT_EQ(o.mixed, 0);
  EXPECT_EQ(o.none, 0);
  EXPECT_EQ(o.onlyA + o.onlyB, kReloads);
  // The writer did race the reloads: both lists were seen.
  EXPECT_GT(o.onlyA, 0);
  EXPECT_GT(o.onlyB, 0);
  std::printf("by rename: %d reloads saw list A, %d list B, none a mix\n", o.onlyA, o.onlyB);
}

TEST(LiveEdits, InPlaceNothingCrashesAndNoRuleIsBroken) {
  const Outcome o = play(Mode::InPlace);
  EXPECT_EQ(o.exitStatus, 0) << o.tail;
  EXPECT_EQ(o.tail,
            "end at " + std::to_string(150 * (kReloads - 1)) + ": 0 user(s), 0 violation(s)\n");
  EXPECT_EQ(o.onlyA + o.onlyB + o.mixed + o.none, kReloads);
  std::printf("in place: %d reloads saw list A, %d list B, %d a mix, %d an empty table\n", o.onlyA,
              o.onlyB, o.mixed, o.none);
}

TEST(LiveEdits, ThroughTheListToolEveryReloadSeesAWholeTable) {
  const Outcome o = play(Mode::Tool);
  EXPECT_EQ(o.exitStatus, 0) << o.tail;
  EXPECT_EQ(o.tail,
            "end at " + std::to_string(150 * (kReloads - 1)) + ": 0 user(s), 0 violation(s)\n");
  EXPECT_EQ(o.mixed, 0);
  EXPECT_EQ(o.none, 0);
  EXPECT_EQ(o.onlyA + o.onlyB + o.added + o.removed, kReloads);
  // The changes did race the reloads: more than one table was seen.
  EXPECT_GT((o.onlyA > 0) + (o.onlyB > 0) + (o.added > 0) + (o.removed > 0), 1);
  std::printf(
      "through tolvane-list: %d reloads saw list A, %d A with probe 6, %d that without "
      "probe 1, %d list B; none a mix or an empty table\n",
      o.onlyA, o.added, o.removed, o.onlyB);
}
