// tolvane-list's edit, add and remove in a cycle, and another program that rewrites the list by
// renaming its own version over it, all while the stand-in host reloads the list 2,000 times,
// and on a busy machine, where edits lose more races, until an installed edit's table has been
// reloaded. Every reload sees a whole list, and no change of the other program is ever overwritten.
//
// The list holds a first and a last record that the other program swaps together (probes 1 and
// 2, or 3 and 4), a middle record that edit swaps (probe 7 or 8) and, at its end, one that add
// and remove put in and take out (probe 6). A whole list gives 1 and 2 or 3 and 4, never a
// pair of one and the other, and 7 or 8, never both or neither. The other program's first line
// is a marker, "# writer N", N its count of writes: before each write it reads the list, which
// must still carry the marker it wrote last. A change of tolvane-list's made on a list read
// before that write, and installed over it, would have taken the marker away.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "build-paths.h"
#include "file-bytes.h"
#include "launch.h"

namespace {

constexpr int kReloads = 2000;
constexpr unsigned kMask = 0x3E71D5A4u;
constexpr int kProbes[] = {1, 2, 3, 4, 6, 7, 8};

// The record of probe N (1 to 8): its registration seed written in letters.
std::string record(int n) {
  static const char *const kLetters[] = {"", "F", "G", "H", "A", "B", "C", "D", "M"};
  return std::string("{") + kLetters[n] + "} {} \"1.2.3.4\"\n";
}

std::string padding(int lines) {
  std::string s;
  for (int i = 0; i < lines; ++i)
    s += "# padding line, so that a reload takes a few reads " + std::to_string(i) + "\n";
  return s;
}

bool exists(const std::string &path) {
  return access(path.c_str(), F_OK) == 0;
}

// Replaces the first `from` in `s` by `to`; false when there is none.
bool swapped(std::string &s, const std::string &from, const std::string &to) {
  const size_t at = s.find(from);
  if (at == std::string::npos) return false;
  s.replace(at, from.size(), to);
  return true;
}

// The other program: until `stop` appears, reads the list, checks its last marker, and renames
// a new version over it with the next marker and the other pair of probes; then checks once
// more. Writes "WRITES OVERWRITTEN" to `result`. On a busy machine a change (the tool, its
// editor, the check) outlasts the writer's pauses and loses every race: until an edit has put
// probe 8 in place (`edited` appears) and an add probe 6 (`added`), every tenth write is followed
// by a second's pause, a window in which a change can install, so that its table is reloaded too.
[[noreturn]] void outsideWriter(const std::string &path, const std::string &stop,
                                const std::string &edited, const std::string &added,
                                const std::string &result) {
  std::minstd_rand random(static_cast<unsigned>(getpid()));
  long writes = 0, overwritten = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (;;) {
    const bool last = exists(stop) || std::chrono::steady_clock::now() > until;
    std::string text = slurp(path);
    const std::string marker = "# writer " + std::to_string(writes) + "\n";
    if (text.compare(0, marker.size(), marker) != 0) {
      ++overwritten;
      std::fprintf(stderr, "outside writer: marker %ld lost; the list begins %s\n", writes,
                   text.substr(0, text.find('\n')).c_str());
    }
    if (last) break;
    text.erase(0, text.find('\n') + 1);
    text = "# writer " + std::to_string(writes + 1) + "\n" + text;
    if (!(swapped(text, record(1), record(3)) && swapped(text, record(2), record(4))) &&
        !(swapped(text, record(3), record(1)) && swapped(text, record(4), record(2))))
      _exit(3);
    const std::string next = path + ".outside";
    std::ofstream(next, std::ios::binary) << text;
    if (std::rename(next.c_str(), path.c_str()) != 0) _exit(4);
    ++writes;
    const bool window = writes % 10 == 0 && !(exists(edited) && exists(added));
    std::this_thread::sleep_for(
        std::chrono::milliseconds(window ? 1000 : 5 + static_cast<long>(random() % 60)));
  }
  std::ofstream(result) << writes << " " << overwritten << "\n";
  _exit(0);
}

// tolvane-list, until `stop` appears: add probe 6, edit (probe 7 for 8 or back), remove probe
// 6, edit again. Each run installs, finds nothing to do, or is refused because the list changed
// meanwhile; anything else counts as failed (and is shown). Writes "INSTALLED UNCHANGED REFUSED
// FAILED" to `result`.
[[noreturn]] void toolCycle(const std::string &path, const std::string &stop,
                            const std::string &result) {
  const std::string dir = path.substr(0, path.rfind('/'));
  const std::string editor = dir + "/swap.sh";
  std::ofstream(editor) << "#!/bin/sh\nsleep 0.005\nsed -i -e 's/^{D} /{@} /' -e 's/^{M} /{D} /' "
                           "-e 's/^{@} /{M} /' \"$1\"\n";
  if (system(("chmod +x " + editor).c_str()) != 0) _exit(2);  // NOLINT(cert-env33-c)
  const std::string tool = launched(TOLVANE_LIST) + " ";
  const std::string probe6 = " --rseed 6 --addr 1.2.3.4";
  const std::string steps[] = {
      tool + "add " + path + probe6,
      "EDITOR=" + editor + " " + tool + "edit " + path,
      tool + "remove " + path + probe6,
      "EDITOR=" + editor + " " + tool + "edit " + path,
  };
  const std::string out = dir + "/tool.out";
  long installed = 0, unchanged = 0, refused = 0, failed = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (long k = 0; !exists(stop) && std::chrono::steady_clock::now() < until; ++k) {
    const int st = std::system((steps[k % 4] + " >" + out + " 2>&1").c_str());  // NOLINT
    const std::string said = slurp(out);
    const int status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    if (status == 0 && said.find(": changed: installed") != std::string::npos) {
      ++installed;
      // An edit that put probe 8 in place, an add that put probe 6: the reloads go on until
      // they have seen both.
      if (k % 2 == 1 && slurp(path).find(record(8)) != std::string::npos)
        std::ofstream(dir + "/edited") << "";
      if (k % 4 == 0 &&
          slurp(path).find(record(6).substr(0, record(6).size() - 1)) != std::string::npos)
        std::ofstream(dir + "/added") << "";
    } else if (status == 0 && said.find(": unchanged: ") != std::string::npos) {
      ++unchanged;
    } else if (status == 1 && said.find("[changed-meanwhile]") != std::string::npos) {
      ++refused;
    } else {
      ++failed;
      std::fprintf(stderr, "%s: exit %d\n%s", steps[k % 4].c_str(), status, said.c_str());
    }
  }
  std::ofstream(result) << installed << " " << unchanged << " " << refused << " " << failed << "\n";
  _exit(0);
}

struct Seen {
  int whole = 0, broken = 0;
  int pairA = 0, pairB = 0, probe6 = 0, probe7 = 0, probe8 = 0;
};

// Judges one reload by the probes it recognised (bit N for probe N).
void judge(unsigned seen, Seen &s) {
  const auto has = [seen](int n) { return (seen >> n & 1u) != 0; };
  const bool a = has(1) && has(2) && !has(3) && !has(4);
  const bool b = has(3) && has(4) && !has(1) && !has(2);
  const bool middle = has(7) != has(8);
  if (!(a || b) || !middle) {
    ++s.broken;
    std::fprintf(stderr, "a reload saw probes 0x%03x\n", seen);
    return;
  }
  ++s.whole;
  s.pairA += a ? 1 : 0;
  s.pairB += b ? 1 : 0;
  s.probe6 += has(6) ? 1 : 0;
  s.probe7 += has(7) ? 1 : 0;
  s.probe8 += has(8) ? 1 : 0;
}

}  // namespace

TEST(LiveEdits, ThroughTheListToolBesideAnOutsideWriterNoChangeIsOverwritten) {
  if (!kRunsNatively)
    GTEST_SKIP() << "a timing-bound race: under qemu-user each tolvane-list run takes ten times "
                    "as long, the outside writer changes the list during every edit, and no edit "
                    "is ever installed to race it";
  char made[] = "/tmp/tolvane-outside-XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const std::string dir = made;
  const std::string path = dir + "/admins.list";
  std::ofstream(path) << "# writer 0\n"
                      << record(1) << padding(6) << record(7) << padding(6) << record(2);
  const pid_t writer = fork();
  if (writer == 0)
    outsideWriter(path, dir + "/stop-writer", dir + "/edited", dir + "/added",
                  dir + "/writer.result");
  const pid_t cycle = fork();
  if (cycle == 0) toolCycle(path, dir + "/stop-tool", dir + "/tool.result");

  // The host reloads at its own pace, a reload every 2 ms, so that the changes race it.
  const std::string transcript = dir + "/host.out";
  const std::string cmd =
      launched(TOLVANE_HOST) + " " + TOLVANE_PLUGIN + " " + path + " >" + transcript + " 2>&1";
  FILE *host = popen(cmd.c_str(), "w");  // NOLINT(cert-env33-c): runs the host as a user would
  ASSERT_NE(host, nullptr);
  // At least kReloads reloads, and on a busy machine, where the changes lose more races, as many
  // more as it takes for an installed edit's and an installed add's tables to be reloaded (a
  // minute at the most).
  int reloads = 0;
  int afterEdit = 0;  // reloads since an edit put probe 8 in place and an add probe 6
  const auto latest = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (int r = 0; r < kReloads || (afterEdit < 50 && std::chrono::steady_clock::now() < latest);
       ++r, ++reloads) {
    if (afterEdit > 0 || (exists(dir + "/edited") && exists(dir + "/added"))) ++afterEdit;
    std::string s = r == 0 ? "wait 0\n" : "wait 150\n";
    for (int p : kProbes) {
      const std::string name = "p" + std::to_string(p);
      s += "user " + name + " crc=" + std::to_string(kMask ^ static_cast<unsigned>(p)) +
           " ip=1.2.3.4\nlogon " + name + "\nenter " + name + " r\ndelete " + name + "\n";
    }
    std::fputs(s.c_str(), host);
    std::fflush(host);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const int hostStatus = pclose(host);
  std::ofstream(dir + "/stop-tool") << "";
  waitpid(cycle, nullptr, 0);
  std::ofstream(dir + "/stop-writer") << "";  // its last check sees the tool's last change
  waitpid(writer, nullptr, 0);

  Seen seen;
  std::string tail;
  {
    std::ifstream in(transcript);
    std::string l;
    unsigned bits = 0;
    bool started = false;
    while (std::getline(in, l)) {
      if (l.compare(0, 16, "handleTimerEvent") == 0) {
        if (started) judge(bits, seen);
        started = true;
        bits = 0;
      }
      int n = 0;
      if (std::sscanf(l.c_str(), "  [global] Attention on deck! p%d has", &n) == 1 && n > 0 &&
          n <= 8)
        bits |= 1u << n;
      if (l.compare(0, 4, "end ") == 0 || l.compare(0, 10, "violation:") == 0) tail += l + "\n";
    }
    if (started) judge(bits, seen);
  }
  long writes = -1, overwritten = -1, installed = -1, unchanged = -1, refused = -1, failed = -1;
  std::ifstream(dir + "/writer.result") >> writes >> overwritten;
  std::ifstream(dir + "/tool.result") >> installed >> unchanged >> refused >> failed;
  std::system(("rm -rf '" + dir + "'").c_str());  // NOLINT(cert-env33-c)

  EXPECT_TRUE(WIFEXITED(hostStatus) && WEXITSTATUS(hostStatus) == 0) << tail;
  EXPECT_EQ(tail,
            "end at " + std::to_string(150 * (reloads - 1)) + ": 0 user(s), 0 violation(s)\n");
  EXPECT_EQ(seen.whole, reloads) << "every reload sees a whole list";
  EXPECT_EQ(seen.broken, 0);
  EXPECT_EQ(overwritten, 0) << "no change of the other program is overwritten";
  EXPECT_EQ(failed, 0) << "every change installs, has nothing to do, or is refused";
  // Both raced the reloads and each other: every kind of table was seen, and changes were
  // installed and refused.
  EXPECT_GT(writes, 0);
  EXPECT_GT(installed, 0);
  EXPECT_GT(refused, 0);
  EXPECT_GT(seen.pairA, 0);
  EXPECT_GT(seen.pairB, 0);
  EXPECT_GT(seen.probe6, 0);
  EXPECT_GT(seen.probe7, 0);
  EXPECT_GT(seen.probe8, 0);
  std::printf(
      "beside an outside writer: %ld outside writes, %ld overwritten; tolvane-list installed "
      "%ld changes, found %ld with nothing to do, was refused %ld times (changed meanwhile); "
      "%d reloads, each a whole list (%d with probe 6, %d with probe 7, %d with probe 8)\n",
      writes, overwritten, installed, unchanged, refused, seen.whole, seen.probe6, seen.probe7,
      seen.probe8);
}
