// `tolvane-list check` of a list whose journal names one delegate's kept copy in /var/tmp, with
// 20,000 folders planted there to pass for kept copies (each nobody's, mode 0700, holding a copy
// of the list's name as the tool leaves one), beside the same check with no folder planted. Both
// run the built tool, each in a private mount namespace of the benchmark's own whose /var/tmp
// is a tmpfs: made once, the machine's /var/tmp never touched. The two reports must be the same,
// byte for byte: the check finds the kept copy by its journal and never looks at the rest.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "paired.h"

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
constexpr int kPlanted = 20000;
const char *const kName = "admins.list";
const char *const kListBytes = "{FA} {} \"10.1.*.*\"   # Ada\n{GA} {} \"10.2.*.*\"   # Bob\n";
const char *const kCopyBytes =
    "{FA} {} \"10.1.*.*\"   # Ada\n{GA} {} \"10.2.*.*\"   # Bob\n{HA} {} \"10.3.*.*\"   # Cy\n";
const std::string kKeptFolder = "/var/tmp/tolvane-edit.Kept01";
const std::string kKept = kKeptFolder + "/" + kName;
constexpr time_t kWritten = 1767323040;  // 2026-01-02 03:04 UTC

// Writes `bytes` to a new file at `path` with `mode`, owned by `uid`:`gid`, last written at
// `written` (0: now).
bool spill(const std::string &path, const std::string &bytes, mode_t mode, uid_t uid, gid_t gid,
           time_t written = 0) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
            fchown(fd, uid, gid) == 0 && fchmod(fd, mode) == 0;
  if (ok && written != 0) {
    const timespec times[2] = {{written, 0}, {written, 0}};
    ok = futimens(fd, times) == 0;
  }
  return close(fd) == 0 && ok;
}

// A folder of nobody's at `path`, mode 0700, holding a copy of the list's name as the tool
// leaves a delegate's.
bool copyFolder(const std::string &path) {
  return mkdir(path.c_str(), 0700) == 0 && chown(path.c_str(), kNobody, kNogroup) == 0 &&
         spill(path + "/" + kName, kCopyBytes, 0600, kNobody, kNogroup, kWritten);
}

// The list, its journal and the two views of /var/tmp: namespaces entered by the checks.
struct Setting {
  std::string error;   // why there is none
  std::string folder;  // root's folder of the list, in /tmp
  std::string list;
  int bare = -1;     // a mount namespace whose /var/tmp holds the kept copy alone
  int planted = -1;  // one whose /var/tmp holds it and 20,000 folders planted beside it

  Setting() {
    if (geteuid() != 0) {
      error = "needs root (a private mount namespace, folders of nobody's): skipped";
      return;
    }
    char templ[] = "/tmp/tolvane-bench-check.XXXXXX";
    if (mkdtemp(templ) == nullptr || chmod(templ, 0755) != 0) {
      error = std::string("cannot make a folder in /tmp: ") + std::strerror(errno);
      return;
    }
    folder = templ;
    list = folder + "/" + kName;
    const std::string journal =
        R"({"v":1,"kind":"end","id":"20260102T030400Z-Ab12Cd","at":"2026-01-02T03:04:00Z",)"
        R"("result":"refused","why":"the new list has 1 error that the list does not have: )"
        R"(nothing written","logged":true,"kept":{"path":")" +
        kKept + R"(","owner":65534,"beside":false}})" + "\n";
    if (!spill(list, kListBytes, 0644, 0, 0) ||
        !spill(folder + "/." + kName + ".journal", journal, 0600, 0, 0)) {
      error = "cannot write the list and its journal in " + folder;
      return;
    }
    // Each view a namespace of its own, entered from here; the benchmark then returns to the
    // machine's, and to its working folder.
    const int machine = open("/proc/thread-self/ns/mnt", O_RDONLY | O_CLOEXEC);
    const int cwd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bare = view(0);
    if (error.empty()) planted = view(kPlanted);
    if (machine < 0 || setns(machine, CLONE_NEWNS) != 0 || cwd < 0 || fchdir(cwd) != 0)
      error =
          std::string("cannot return to the machine's mount namespace: ") + std::strerror(errno);
    if (machine >= 0) close(machine);
    if (cwd >= 0) close(cwd);
  }
  ~Setting() {
    for (const int ns : {bare, planted})
      if (ns >= 0) close(ns);
    if (!folder.empty()) {
      unlink((folder + "/." + kName + ".journal").c_str());
      unlink(list.c_str());
      rmdir(folder.c_str());
    }
  }
  Setting(const Setting &) = delete;
  Setting &operator=(const Setting &) = delete;

  // A new private mount namespace with a fresh tmpfs on /var/tmp holding the kept copy and
  // `planted` folders beside it, named as the tool names its own; its descriptor.
  int view(int plantedFolders) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/var/tmp", "tmpfs", 0, "mode=1777,size=256m") != 0) {
      error = std::string("cannot mount a private tmpfs on /var/tmp: ") + std::strerror(errno);
      return -1;
    }
    if (!copyFolder(kKeptFolder)) {
      error = "cannot make the kept copy " + kKept;
      return -1;
    }
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> pick(0, 61);
    for (int made = 0; made < plantedFolders;) {
      std::string path = "/var/tmp/tolvane-edit.";
      for (int i = 0; i < 6; ++i) path += kAlphabet[pick(random)];
      struct stat st {};
      if (lstat(path.c_str(), &st) == 0) continue;
      if (!copyFolder(path)) {
        error = "cannot plant " + path + ": " + std::strerror(errno);
        return -1;
      }
      ++made;
    }
    const int ns = open("/proc/thread-self/ns/mnt", O_RDONLY | O_CLOEXEC);
    if (ns < 0) error = std::string("cannot keep a mount namespace: ") + std::strerror(errno);
    return ns;
  }

  // `check LIST` run in the namespace `ns`, its output kept in `out` when given; its exit
  // status (-1 when it did not exit).
  int check(int ns, std::string *out = nullptr) const {
    int pipeFds[2] = {-1, -1};
    if (out != nullptr && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
      const int sink = out != nullptr ? pipeFds[1] : open("/dev/null", O_WRONLY);
      if (setns(ns, CLONE_NEWNS) != 0 || sink < 0 || dup2(sink, STDOUT_FILENO) < 0 ||
          dup2(sink, STDERR_FILENO) < 0)
        _exit(126);
      execl(TOLVANE_LIST_TOOL, "tolvane-list", "check", list.c_str(), nullptr);
      _exit(127);
    }
    if (out != nullptr) {
      close(pipeFds[1]);
      char buf[4096];
      for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;)
        out->append(buf, static_cast<size_t>(n));
      close(pipeFds[0]);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
};

// The check among 20,000 planted folders beside the same check with none planted.
void checkAmongPlantedFolders(benchmark::State &state) {
  static const Setting s;
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  std::string bare, planted;
  const int bareStatus = s.check(s.bare, &bare), plantedStatus = s.check(s.planted, &planted);
  if (bareStatus != 1 || plantedStatus != 1 || bare != planted ||
      bare.find(kKept + ", written ") == std::string::npos) {
    state.SkipWithError("check does not name the kept copy alone, the same among planted folders");
    return;
  }
  bench::paired(
      state, 4, [&] { s.check(s.planted); }, [&] { s.check(s.bare); });
}
BENCHMARK(checkAmongPlantedFolders)->Unit(benchmark::kMillisecond);

}  // namespace
