#include "private-dev-log.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

bool failed(std::string &why, const std::string &what) {
  why = what + ": " + std::strerror(errno);
  return false;
}

// Puts the entry `name` of the machine's /dev (open at `old`) into the new /dev: a device made
// again, a folder (pts, shm, ...) bound with what is mounted below it, a link copied, anything
// else bound.
bool copyEntry(int old, const std::string &name, std::string &why) {
  struct stat st {};
  if (fstatat(old, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return true;  // gone meanwhile
  const std::string to = "/dev/" + name;
  const std::string from = "/proc/self/fd/" + std::to_string(old) + "/" + name;
  if (S_ISLNK(st.st_mode)) {
    char target[PATH_MAX];
    const ssize_t n = readlinkat(old, name.c_str(), target, sizeof target - 1);
    if (n <= 0) return failed(why, "readlink " + from);
    target[n] = '\0';
    if (symlink(target, to.c_str()) != 0) return failed(why, "symlink " + to);
    return true;
  }
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
    if (mknod(to.c_str(), st.st_mode, st.st_rdev) != 0 ||
        chown(to.c_str(), st.st_uid, st.st_gid) != 0 || chmod(to.c_str(), st.st_mode & 07777) != 0)
      return failed(why, "mknod " + to);
    return true;
  }
  const bool folder = S_ISDIR(st.st_mode);
  if (folder ? mkdir(to.c_str(), st.st_mode & 07777) != 0
             : mknod(to.c_str(), S_IFREG | 0600, 0) != 0)
    return failed(why, "make " + to);
  if (mount(from.c_str(), to.c_str(), nullptr, MS_BIND | (folder ? MS_REC : 0), nullptr) != 0)
    return failed(why, "bind " + to);
  return true;
}

// Makes the private /dev in a mount namespace of this process's own: the machine's entries but
// /dev/log, and, but for PrivateLog::Missing, a datagram socket bound there, returned in `sock`
// (for PrivateLog::Refusing closed at once, leaving a socket file that takes no line).
bool privateDev(PrivateLog log, int &sock, std::string &why) {
  sock = -1;
  if (unshare(CLONE_NEWNS) != 0) return failed(why, "unshare");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return failed(why, "make / private");
  const int old = open("/dev", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (old < 0) return failed(why, "open /dev");
  if (mount("tmpfs", "/dev", "tmpfs", MS_NOSUID, "mode=0755") != 0) {
    close(old);
    return failed(why, "mount a tmpfs on /dev");
  }
  DIR *d = fdopendir(dup(old));
  bool ok = d != nullptr || failed(why, "read /dev");
  while (ok && d != nullptr) {
    const dirent *e = readdir(d);
    if (e == nullptr) break;
    const std::string name = e->d_name;
    if (name != "." && name != ".." && name != "log") ok = copyEntry(old, name, why);
  }
  if (d != nullptr) closedir(d);
  close(old);
  if (!ok || log == PrivateLog::Missing) return ok;
  sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "/dev/log");
  if (sock < 0 || bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
      chmod("/dev/log", 0666) != 0)
    return failed(why, "bind /dev/log");
  if (log == PrivateLog::Refusing) {
    close(sock);
    sock = -1;
  }
  return true;
}

// Reads what is waiting at the socket, within `ms`; writes each message to `lines` (when it is
// not -1) as "<PRI>MESSAGE\n". False when nothing came.
bool drain(int sock, int lines, int ms) {
  pollfd p{sock, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return false;
  char buf[65536];
  const ssize_t n = recv(sock, buf, sizeof buf, MSG_DONTWAIT);
  if (n <= 0 || lines < 0) return n > 0;
  // "<PRI>Mmm dd hh:mm:ss tolvane-list[PID]: MESSAGE"
  std::string m(buf, static_cast<size_t>(n));
  if (!m.empty() && m.back() == '\0') m.pop_back();
  const size_t pri = m.find('>'), tag = m.find("]: ");
  const std::string line = m.substr(0, pri + 1) +
                           m.substr(m.find("tolvane-list[") == std::string::npos ? 0 : tag + 3) +
                           "\n";
  return write(lines, line.data(), line.size()) >= 0;
}

}  // namespace

bool enterPrivateDevLog(PrivateLog log, std::string &why) {
  int sock = -1;
  if (!privateDev(log, sock, why)) return false;
  if (sock < 0) return true;
  const pid_t parent = getpid();
  const pid_t reader = fork();
  if (reader < 0) return failed(why, "fork");
  if (reader > 0) {
    close(sock);
    return true;
  }
  // The reader: it holds nothing of the caller's open (a pipe held open here would never end),
  // and ends with the thread that made it.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(0);
  const int null = open("/dev/null", O_RDWR);
  for (const int fd : {0, 1, 2}) dup2(null, fd);
  for (int fd = 3; fd < 1024; ++fd) {
    if (fd != sock) close(fd);
  }
  for (;;) drain(sock, -1, -1);
}

int runWithPrivateLog(char *const argv[], int lines, std::string &why) {
  int sock = -1;
  if (!privateDev(PrivateLog::Kept, sock, why)) return -1;
  const pid_t child = fork();
  if (child < 0) {
    failed(why, "fork");
    return -1;
  }
  if (child == 0) {
    execvp(argv[0], argv);
    std::fprintf(stderr, "%s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
  }
  int st = 0;
  while (waitpid(child, &st, WNOHANG) == 0) drain(sock, lines, 20);
  while (drain(sock, lines, 0)) {
  }
  close(sock);
  return WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
}
