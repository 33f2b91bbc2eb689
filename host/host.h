// The stand-in host: the plug-in's lifecycle and the calls into it, users, rooms and the
// virtual clock. Its services live in services.cpp beside their C entry points, its checks of
// the plug-in in checks.cpp, and what it prints goes through the Transcript.
#ifndef TOLVANE_HOST_HOST_H
#define TOLVANE_HOST_HOST_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

#include "loader.h"
#include "s-pluginapi.h"
#include "scenario.h"
#include "transcript.h"

namespace host {

// Bytes around each user's reserved plug-in bytes; the plug-in must not touch them.
constexpr size_t kGuard = 16;
constexpr uint8_t kGuardByte = 0xA5;
// Reserved bytes start out as this, so that a plug-in that does not set its byte shows.
constexpr uint8_t kFreshByte = 0xCD;
// Name bytes after the last character hold this, so that an unterminated name shows.
constexpr char kNameFill = '~';
// Up to this many users, every record is checked after every entry point call.
constexpr size_t kCheckAllUsers = 64;
// Bytes handed out, between guards, for a user the host does not know.
constexpr size_t kScratch = 64;

// Reserved bytes up to this many per user are kept inside the user's own entry.
constexpr size_t kInlineInfo = 32;

struct HostUser {
  std::string key;    // the name as written in the scenario
  std::string label;  // the name as the transcript shows it: key, control bytes escaped
  ServerUserRec rec{};
  ServerUserRec shadow{};  // the record as the plug-in last found it, to compare with
  uint8_t inlineInfo[kGuard * 2 + kInlineInfo];
  std::vector<uint8_t> heapInfo;  // for more reserved bytes than that
  uint8_t *info = nullptr;        // guard, reserved bytes, guard
};

// A user's name in the transcript, "?" for a record the host does not know.
inline std::string who(const HostUser *u) {
  return u != nullptr ? u->label : "?";
}

struct TimerEvent {
  int64_t due;
  uint64_t seq;
  AnyType datum;
  bool operator>(const TimerEvent &o) const { return due != o.due ? due > o.due : seq > o.seq; }
};

// What an entry point call is, for a violation's message: made only when one is reported.
class Describe {
 public:
  template <typename F>
  Describe(const F &f)  // NOLINT(google-explicit-constructor): any callable giving a string
      : ctx_(&f), fn_([](const void *c) { return (*static_cast<const F *>(c))(); }) {}
  std::string operator()() const { return fn_(ctx_); }

 private:
  const void *ctx_;
  std::string (*fn_)(const void *);
};

class Host {
 public:
  // `quiet` leaves out every transcript line but notes, violations and the closing line.
  Host(FILE *out, PluginID id, bool quiet = false);
  ~Host();
  Host(const Host &) = delete;
  Host &operator=(const Host &) = delete;

  // The one host whose services the plug-in calls.
  static Host *current;

  // Starts the plug-in: initializeServerPlugin with argv = args (the first argc of them).
  void start(const Plugin &plugin, const std::vector<std::string> &args, int argc);
  // Shows a command as read: `> ` and its line, then a `write` block's lines.
  void echo(const Command &cmd) const;
  // Shows and runs one command; returns false with a message on bad input (an unknown user).
  bool run(const Command &cmd, std::string &err);
  // Prints the closing line; with `stats`, the host's peak memory too.
  void finish(bool stats);

  int violations() const { return transcript_.violations(); }
  // A quiet host prints no message, so it need not format one.
  bool quiet() const { return transcript_.quiet(); }

  // The services, as the plug-in calls them (services.cpp).
  void setPluginUserInfoSize(PluginID id, int size);
  void *getPluginUserInfo(PluginID id, ServerUserRec *user);
  void scheduleTimerEvent(PluginID id, AnyType datum, int delay);
  void log(ServerUserRec *user, const char *tag, const std::string &text);
  MsgDest toUser(ServerUserRec *user);
  void sendMsgUserStatus(MsgDest dest, ServerUserRec *user, int flags, const char *text);
  void wizGlobalMessage(const std::string &text);
  void userMessage(ServerUserRec *user, const std::string &text);

 private:
  // Calls an entry point with every check around it; `subject` may write its flags and name byte.
  template <typename Call>
  void enter(Describe describe, HostUser *subject, ServerRoomRec *room, Call call);

  // The checks of the plug-in (checks.cpp).
  // Compares a user's record with its shadow and checks its guard bytes.
  void verify(Describe describe, HostUser &u, bool subject);
  void checkGuards(Describe describe, const std::string &owner, uint8_t *area, size_t size);
  // Verifies every user.
  void sweep(const std::string &what);
  void checkRecord(const std::string &what, const HostUser &u, bool subject);
  void checkId(const char *service, PluginID id);
  // Reports a service called with a record that is not a live user's.
  void strayUser(const char *service);

  HostUser *userOf(const ServerUserRec *user) const;
  HostUser *find(const std::string &key, std::string &err);
  // A path of the scenario: `$N` is plug-in argument N.
  std::string path(const std::string &p) const;
  HostUser *createUser(const std::string &key, const UserSpec &fields, std::string &err);
  void enterRoom(HostUser *u, const std::string &room);
  void deleteUser(HostUser *u);
  void advance(uint32_t amount);
  // False with a message when a user of a churn name exists already.
  bool churn(uint32_t users, uint32_t every, const UserSpec &fields, std::string &err);
  bool writeFile(const std::string &path, const std::string &content, std::string &err);

  Transcript transcript_;
  PluginID id_;
  Plugin plugin_{};
  AnyType pluginDat_ = 0;
  bool inInit_ = false;
  int infoSize_ = 0;
  bool infoSizeSet_ = false;
  int64_t now_ = 0;
  uint64_t timerSeq_ = 0;
  int32_t nextUserID_ = 1;
  std::vector<std::string> args_;
  std::vector<char *> argv_;
  ServerState state_{};
  std::priority_queue<TimerEvent, std::vector<TimerEvent>, std::greater<TimerEvent>> timers_;
  std::unordered_map<std::string, HostUser> users_;  // entries stay where they are
  std::unordered_map<const ServerUserRec *, HostUser *> byRec_;
  std::map<std::string, ServerRoomRec> rooms_;
  std::vector<uint8_t> scratch_;  // handed out for unknown users, so that a faulty plug-in runs on
};

}  // namespace host

#endif
