#include "files/system-log.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "files/descriptors.h"

namespace tl {
namespace {

constexpr char kLogSocket[] = "/dev/log";
constexpr int kSendSeconds = 10;  // a system log that takes longer is not keeping up
// What the trouble says of kSendSeconds, written out here: this wing returns facts, never
// formats.
constexpr const char *kSendSecondsSaid = "10 s";
static_assert(kSendSeconds == 10, "kSendSecondsSaid names kSendSeconds");
// The most a datagram holds that every syslog receiver must take.
constexpr size_t kDatagramMost = 2048;

// The message as syslog(3) sends it: "<PRI>Mmm dd hh:mm:ss tolvane-list[PID]: LINE".
std::string framed(const std::string &line) {
  static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const time_t now = time(nullptr);
  struct tm t {};
  localtime_r(&now, &t);
  char head[96];
  std::snprintf(  // wings: not speech: the datagram's header, as the log's protocol has it
      head, sizeof head, "<%d>%s %2d %02d:%02d:%02d tolvane-list[%d]: ", LOG_AUTHPRIV | LOG_NOTICE,
      kMonths[t.tm_mon % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(getpid()));
  return head + line;
}

// A socket connected to the system log, datagrams first, then a stream (as some loggers take);
// `error` says why when there is none.
UniqueFd connected(int &type, int &error) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  static_assert(sizeof kLogSocket <= sizeof addr.sun_path, "the socket's path fits");
  std::memcpy(addr.sun_path, kLogSocket, sizeof kLogSocket);
  for (const int t : {SOCK_DGRAM, SOCK_STREAM}) {
    UniqueFd fd(socket(AF_UNIX, t | SOCK_CLOEXEC, 0));
    error = errno;
    if (!fd.valid()) return fd;
    const timeval most{kSendSeconds, 0};
    setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &most, sizeof most);
    if (connect(fd.get(), reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0) {
      type = t;
      return fd;
    }
    error = errno;
    if (error != EPROTOTYPE) break;
  }
  return UniqueFd();
}

}  // namespace

Outcome SystemLog::connect() {
  int error = 0;
  fd_ = connected(type_, error);
  const std::string where = std::string(" at ") + kLogSocket;
  if (fd_.valid()) return done();
  if (error == ENOENT) return trouble("no system log" + where);
  if (error == ECONNREFUSED) return trouble("the system log" + where + " is not running");
  return trouble("cannot reach the system log" + where + ": " + std::strerror(error));
}

Outcome SystemLog::send(const std::string &line) {
  const std::string where = std::string(" at ") + kLogSocket;
  for (int tries = 0; tries < 2; ++tries) {
    if (!fd_.valid() || tries > 0) {
      Outcome reached = connect();
      if (!reached.ok()) return reached;
    }
    std::string message = framed(line);
    if (message.size() > kDatagramMost) message.resize(kDatagramMost);
    if (type_ == SOCK_STREAM) message += '\0';  // a stream's messages end in NUL, as syslog(3)'s
    const ssize_t n = ::send(fd_.get(), message.data(), message.size(), MSG_NOSIGNAL);
    if (n == static_cast<ssize_t>(message.size())) return done();
    if (n >= 0) return trouble("the system log" + where + " took only part of the line");
    if (errno == EAGAIN || errno == EWOULDBLOCK)
      return trouble("the system log" + where + " did not take the line within " +
                     kSendSecondsSaid);
    // A system log that was started again since the connection: once more, connected anew.
    if (errno != ECONNREFUSED && errno != ENOTCONN && errno != ECONNRESET && errno != EPIPE)
      return trouble("the system log" + where + " did not take the line: " + std::strerror(errno));
  }
  return trouble("the system log" + where + " did not take the line: " + std::strerror(errno));
}

}  // namespace tl
