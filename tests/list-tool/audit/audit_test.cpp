// Every change on record: tolvane-list writes one line to the system log (authentication-private
// facility) for each change it installs or refuses, and keeps the previous version as NAME-.
// The log is caught without a system logger: each run happens in a private mount namespace
// whose /dev is a fresh tmpfs holding a datagram socket at /dev/log, where syslog(3) sends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "file-bytes.h"
#include "launch.h"

namespace {

std::string readAll(int fd) {
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  return out;
}

struct Logged {
  int status = -1;
  std::string output;            // what the tool printed, standard error after standard output
  std::vector<std::string> log;  // each message sent to /dev/log, with its priority
};

// Runs the shell command in a private mount namespace with its own /dev/log, and gathers what
// reaches the log: "<PRI>MESSAGE", the time stamp and the tag with its process id left out.
Logged logged(const std::string &command) {
  int out[2], log[2];
  Logged r;
  if (pipe(out) != 0 || pipe(log) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    close(log[0]);
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755") != 0)
      _exit(120);
    const int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "/dev/log");
    if (sock < 0 || bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) _exit(121);
    const int null = open("/tmp", O_RDONLY | O_DIRECTORY);  // any descriptor will do as input
    const pid_t tool = fork();
    if (tool == 0) {
      dup2(null, 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    close(out[1]);
    int st = 0;
    waitpid(tool, &st, 0);
    char buf[8192];
    fcntl(sock, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = recv(sock, buf, sizeof buf, 0)) > 0;) {
      std::string m(buf, static_cast<size_t>(n));
      // "<PRI>Mmm dd hh:mm:ss tolvane-list[PID]: MESSAGE"
      const size_t pri = m.find('>'), tag = m.find("]: ");
      const std::string line = m.substr(0, pri + 1) +
                               m.substr(m.find("tolvane-list[") == std::string::npos ? 0 : tag + 3);
      if (write(log[1], (line + "\n").data(), line.size() + 1) < 0) _exit(122);
    }
    _exit(WIFEXITED(st) ? WEXITSTATUS(st) : 123);
  }
  close(out[1]);
  close(log[1]);
  r.output = readAll(out[0]);
  const std::string all = readAll(log[0]);
  close(out[0]);
  close(log[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::istringstream lines(all);
  for (std::string l; std::getline(lines, l);) r.log.push_back(l);
  return r;
}

// A folder of the test's own holding the example list; removed at the end.
struct Folder {
  std::string dir;
  std::string list;
  Folder() {
    char name[] = "/tmp/tolvane-audit-XXXXXX";
    dir = mkdtemp(name) != nullptr ? name : "";
    list = dir + "/admins.list";
    std::ofstream(list, std::ios::binary) << slurp(TOLVANE_EXAMPLE);
    chmod(list.c_str(), 0640);
  }
  ~Folder() { std::system(("rm -rf '" + dir + "'").c_str()); }  // NOLINT(cert-env33-c)
  Folder(const Folder &) = delete;
  Folder &operator=(const Folder &) = delete;
};

const std::string kTool = launched(TOLVANE_LIST);
constexpr const char *kPriority = "<85>";  // authpriv.notice

TEST(Audit, EachChangeLeavesOneLineAndThePreviousVersion) {
  if (geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  Folder f;
  const std::string example = slurp(f.list);
  const std::string tag = std::string(kPriority);

  // add
  Logged r = logged(kTool + " add " + f.list + " --rseed 366 --addr '172.16.*.*' --note Kay");
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(
      r.log,
      std::vector<std::string>{tag + f.list +
                               ": add by root: installed: + line 20 slot 4 (registration "
                               "seed 366, PUID seed any, 172.16.0.0 to 172.16.255.255 # Kay)"})
      << r.output;
  EXPECT_EQ(slurp(f.list + "-"), example) << "the previous version";
  const std::string afterAdd = slurp(f.list);

  // the same add again: nothing changes, nothing is logged
  r = logged(kTool + " add " + f.list + " --rseed 366 --addr '172.16.*.*' --note Kay");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(r.log.empty()) << r.log[0];

  // remove, by the comment that names the record, as a delegate of sudo would
  r = logged("SUDO_UID=65534 SUDO_GID=65534 SUDO_USER=nobody " + kTool + " remove " + f.list +
             " --note 'Linus: any PUID, from 172.16.0.0 to 172.16.255.255.'");
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(r.log,
            std::vector<std::string>{
                tag + f.list +
                ": remove by root for nobody (sudo): installed: - line 19 "
                "slot 3 (registration seed 816, PUID seed any, 172.16.0.0 to "
                "172.16.255.255 # Linus: any PUID, from 172.16.0.0 to 172.16.255.255.)"})
      << r.output;
  EXPECT_EQ(slurp(f.list + "-"), afterAdd);

  // edit: the editor moves Kay's line to the top
  const std::string afterRemove = slurp(f.list);
  r = logged("EDITOR='sed -i -e \"/# Kay/d\" -e \"1i {GGG} {} \\\"172.16.*.*\\\"   # Kay\"' " +
             kTool + " edit " + f.list);
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(r.log.size(), 1u) << r.output;
  EXPECT_EQ(r.log[0],
            tag + f.list +
                ": edit by root: installed: ~ line 1 slot 1, was line 18 slot 3 (registration "
                "seed 366, PUID seed any, 172.16.0.0 to 172.16.255.255 # Kay); ~ line 16 slot 2, "
                "was line 15 slot 1 (registration seed 53, PUID seed any, 10.1.0.0 to "
                "10.1.255.255 # Ada: any PUID, from the office network.); ~ line 18 slot 3, was "
                "line 17 slot 2 (registration seed 2712, PUID seed 83, 192.168.7.21 to "
                "192.168.7.21 # her workstation)");
  EXPECT_EQ(slurp(f.list + "-"), afterRemove);

  // A refusal is logged as one.
  const std::string current = slurp(f.list);
  chmod(f.dir.c_str(), 0777);
  r = logged(kTool + " add " + f.list + " --rseed 5 --addr 10.3.3.3");
  chmod(f.dir.c_str(), 0700);
  ASSERT_EQ(r.status, 1) << r.output;
  ASSERT_EQ(r.log,
            std::vector<std::string>{
                tag + f.list + ": add by root: refused: the folder " + f.dir +
                " on the list's path can be written by everyone, who can replace the list "
                "and so make anyone a host administrator (chmod go-w " +
                f.dir + ", or chmod +t " + f.dir +
                " with what lies below it yours) "
                "[folder-writable]"})
      << r.output;
  EXPECT_EQ(slurp(f.list), current);

  // The previous version keeps the list's owner, group and mode, and undoes the last change.
  struct stat list {
  }, kept{};
  ASSERT_EQ(stat(f.list.c_str(), &list), 0);
  ASSERT_EQ(stat((f.list + "-").c_str(), &kept), 0);
  EXPECT_EQ(kept.st_uid, list.st_uid);
  EXPECT_EQ(kept.st_gid, list.st_gid);
  EXPECT_EQ(kept.st_mode & 07777, 0640u);
  ASSERT_EQ(std::system(("mv " + f.list + "- " + f.list).c_str()), 0);  // NOLINT(cert-env33-c)
  EXPECT_EQ(slurp(f.list), afterRemove);
}

// The tests' own /dev/log (tests/support/private-log.sh, around every test that makes changes):
// a change made under it sends no line to the /dev/log around it, where a logger listens, and
// is made all the same.
TEST(Audit, UnderTheTestsPrivateLogNoLineReachesTheLogAround) {
  if (geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  Folder f;
  const Logged r = logged(std::string("bash ") + TOLVANE_PRIVATE_LOG_SCRIPT + " " + kTool +
                          " add " + f.list + " --rseed 366 --addr '172.16.*.*' --note Kay");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(f.list + ": changed: installed"), std::string::npos) << r.output;
  EXPECT_EQ(r.log, std::vector<std::string>{});
}

// Text from a list (a comment a delegate wrote) cannot pass for the log's own escapes: a
// backslash is escaped too, so "\x0A" typed in a comment never reads as a line break followed by
// a second, forged entry.
TEST(Audit, ABackslashInACommentIsEscapedSoNoTextPassesForAnEscape) {
  if (geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  Folder f;
  const Logged r =
      logged(kTool + " add " + f.list + " --rseed 366 --addr '172.16.*.*' --note 'Kay\\x0A" +
             f.list + ": remove by root: installed: - line 15'");
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(r.log, std::vector<std::string>{std::string(kPriority) + f.list +
                                            ": add by root: installed: + line 20 slot 4 "
                                            "(registration seed 366, PUID seed any, 172.16.0.0 "
                                            "to 172.16.255.255 # Kay\\x5Cx0A" +
                                            f.list + ": remove by root: installed: - line 15)"})
      << r.output;
}

}  // namespace
