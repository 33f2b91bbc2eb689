#include "host.h"

#include <arpa/inet.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "text.h"

namespace host {

Host *Host::current = nullptr;

Host::Host(FILE *out, PluginID id, bool quiet) : transcript_(out, quiet), id_(id), pluginDat_(id) {
  current = this;
  scratch_.assign(kGuard * 2 + kScratch, kGuardByte);
}

Host::~Host() {
  if (current == this) current = nullptr;
}

HostUser *Host::userOf(const ServerUserRec *user) const {
  const auto it = byRec_.find(user);
  return it != byRec_.end() ? it->second : nullptr;
}

HostUser *Host::find(const std::string &key, std::string &err) {
  const auto it = users_.find(key);
  if (it != users_.end()) return &it->second;
  err = "no user " + quoted(key) + " (create it with " + quoted("user " + key) + ")";
  return nullptr;
}

std::string Host::path(const std::string &p) const {
  if (p.size() >= 2 && p[0] == '$') {
    const size_t n = std::strtoul(p.c_str() + 1, nullptr, 10);
    if (p.find_first_not_of("0123456789", 1) == std::string::npos && n < args_.size())
      return args_[n];
  }
  return p;
}

void Host::start(const Plugin &plugin, const std::vector<std::string> &args, int argc) {
  plugin_ = plugin;
  args_ = args;
  for (int i = 0; i < argc; ++i) argv_.push_back(args_[static_cast<size_t>(i)].data());
  argv_.push_back(nullptr);
  std::string call = "initializeServerPlugin(id " + std::to_string(id_) + ", argc " +
                     std::to_string(argc) + ", argv {";
  for (int i = 0; i < argc; ++i)
    call += (i > 0 ? ", \"" : "\"") + shown(args_[static_cast<size_t>(i)]) + "\"";
  transcript_.line(call + "})");
  inInit_ = true;
  const AnyType result = plugin_.initializeServerPlugin(id_, argc, argv_.data());
  inInit_ = false;
  pluginDat_ = result;
  transcript_.line("  returned " + std::to_string(result));
}

// Every record is compared with its shadow, the record as the plug-in last found it: after the
// call for the call's own user, and for every user while there are few of them; with many, the
// others are compared at each timer event (sweep) and at the end.
template <typename Call>
void Host::enter(Describe describe, HostUser *subject, ServerRoomRec *room, Call call) {
  if (!transcript_.quiet()) transcript_.always(describe());
  const ServerState stateBefore = state_;
  ServerRoomRec roomBefore{};
  if (room != nullptr) roomBefore = *room;
  call();
  if (users_.size() <= kCheckAllUsers) {
    for (auto &kv : users_) verify(describe, kv.second, &kv.second == subject);
  } else if (subject != nullptr) {
    verify(describe, *subject, true);
  }
  checkGuards(describe, "(no user)", scratch_.data(), kScratch);
  if (std::memcmp(&stateBefore, &state_, sizeof state_) != 0)
    transcript_.violation(describe() + " wrote the server state");
  if (room != nullptr && std::memcmp(&roomBefore, room, sizeof *room) != 0)
    transcript_.violation(describe() + " wrote the room record");
}

HostUser *Host::createUser(const std::string &key, const UserSpec &s, std::string &err) {
  const auto made = users_.try_emplace(key);
  if (!made.second) {
    err = "user " + quoted(key) + " exists already";
    return nullptr;
  }
  HostUser *u = &made.first->second;
  u->key = key;
  u->label = written(key);
  ServerUserRec &r = u->rec;
  r.user.userID = nextUserID_++;
  std::memset(r.user.name, kNameFill, sizeof r.user.name);
  r.user.name[0] =
      static_cast<uint8_t>(s.lenByte >= 0 ? s.lenByte : static_cast<int>(s.nameBytes.size()));
  std::memcpy(r.user.name + 1, s.nameBytes.data(), s.nameBytes.size());
  r.crc = s.crc;
  r.counter = s.counter;
  r.puidCtr = s.puidCtr;
  r.puidCRC = s.puidCRC;
  r.feIPAddr = htonl(s.ip);
  r.flags = s.flags;
  r.connectTime = static_cast<uint32_t>(now_);
  u->shadow = r;
  const size_t size = static_cast<size_t>(infoSize_);
  if (size <= kInlineInfo) {
    u->info = u->inlineInfo;
  } else {
    u->heapInfo.resize(kGuard * 2 + size);
    u->info = u->heapInfo.data();
  }
  std::memset(u->info, kGuardByte, kGuard * 2 + size);
  std::memset(u->info + kGuard, kFreshByte, size);
  byRec_[&u->rec] = u;
  ++state_.nbrUsers;
  enter([&] { return "noteUserCreation(" + u->label + ")"; }, u, nullptr,
        [&] { plugin_.noteUserCreation(&state_, pluginDat_, &u->rec); });
  return u;
}

void Host::enterRoom(HostUser *u, const std::string &name) {
  auto it = rooms_.find(name);
  if (it == rooms_.end()) {
    ServerRoomRec room{};
    room.roomID = static_cast<int16>(rooms_.size() + 1);
    const size_t n = std::min<size_t>(name.size(), 31);
    room.name[0] = static_cast<uint8_t>(n);
    std::memcpy(room.name + 1, name.data(), n);
    it = rooms_.emplace(name, room).first;
    state_.nbrRooms = static_cast<uint32_t>(rooms_.size());
  }
  ServerRoomRec *room = &it->second;
  u->rec.user.roomID = room->roomID;
  u->shadow.user.roomID = room->roomID;
  enter([&] { return "noteUserRoomEntry(" + u->label + ", " + written(name) + ")"; }, u, room,
        [&] { plugin_.noteUserRoomEntry(&state_, pluginDat_, &u->rec, room); });
}

void Host::deleteUser(HostUser *u) {
  enter([&] { return "noteUserDeletion(" + u->label + ")"; }, u, nullptr,
        [&] { plugin_.noteUserDeletion(&state_, pluginDat_, &u->rec); });
  byRec_.erase(&u->rec);
  --state_.nbrUsers;
  users_.erase(u->key);
}

void Host::advance(uint32_t amount) {
  const int64_t target = now_ + amount;
  while (!timers_.empty() && timers_.top().due <= target) {
    const TimerEvent ev = timers_.top();
    timers_.pop();
    now_ = ev.due;
    state_.clock = static_cast<uint32_t>(now_);
    const auto describe = [&] {
      return "handleTimerEvent(datum " + std::to_string(ev.datum) + ") at " + std::to_string(now_);
    };
    enter(describe, nullptr, nullptr,
          [&] { plugin_.handleTimerEvent(&state_, pluginDat_, ev.datum); });
    if (users_.size() > kCheckAllUsers) sweep(describe() + " or an earlier call");
  }
  now_ = target;
  state_.clock = static_cast<uint32_t>(now_);
}

// Users who come and go: each is created with the fields given (its name churnN), logs on,
// enters a room and is deleted; every `every` users the clock moves on by 150, so the plug-in's
// timer runs.
bool Host::churn(uint32_t users, uint32_t every, const UserSpec &fields, std::string &err) {
  UserSpec each = fields;
  const std::string room = "lobby";
  for (uint32_t i = 0; i < users; ++i) {
    const std::string key = "churn" + std::to_string(i);
    each.nameBytes = key;
    HostUser *u = createUser(key, each, err);
    if (u == nullptr) return false;  // a name in use: bad input, not the plug-in's fault
    u->rec.loggedOn = 1;
    u->shadow.loggedOn = 1;
    enterRoom(u, room);
    deleteUser(u);
    if ((i + 1) % every == 0) advance(150);
  }
  return true;
}

void Host::echo(const Command &cmd) const {
  if (cmd.op == Op::None || cmd.op == Op::Note || transcript_.quiet()) return;
  transcript_.line("> " + written(cmd.echo));
  for (const std::string &l : cmd.block) transcript_.line("  | " + written(l));
}

bool Host::run(const Command &cmd, std::string &err) {
  echo(cmd);
  switch (cmd.op) {
    case Op::None:
      return true;
    case Op::Write:
      return writeFile(cmd.args[0], cmd.content, err);
    case Op::Note:
      transcript_.always("-- " + written(cmd.args[0]));
      return true;
    case Op::Churn:
      return churn(cmd.amount, cmd.every, cmd.user, err);
    case Op::User:
      return createUser(cmd.args[0], cmd.user, err) != nullptr;
    case Op::Wait:
      advance(cmd.amount);
      return true;
    case Op::Remove:
      if (std::remove(path(cmd.args[0]).c_str()) != 0) {
        err = "cannot remove " + quoted(path(cmd.args[0])) + ": " + std::strerror(errno);
        return false;
      }
      return true;
    case Op::Rename:
      if (std::rename(path(cmd.args[0]).c_str(), path(cmd.args[1]).c_str()) != 0) {
        err = "cannot rename " + quoted(path(cmd.args[0])) + ": " + std::strerror(errno);
        return false;
      }
      return true;
    default:
      break;
  }
  HostUser *u = find(cmd.args[0], err);
  if (u == nullptr) return false;
  switch (cmd.op) {
    case Op::Logon:
      u->rec.loggedOn = 1;
      u->shadow.loggedOn = 1;
      return true;
    case Op::Show: {
      const std::string byte = infoSize_ > 0 ? std::to_string(u->info[kGuard]) : "none";
      transcript_.line("  " + u->label + ": flags " + hex4(u->rec.flags) + ", byte " + byte);
      return true;
    }
    case Op::Enter:
      enterRoom(u, cmd.args[1]);
      return true;
    case Op::Delete:
      deleteUser(u);
      return true;
    default:
      return true;
  }
}

bool Host::writeFile(const std::string &p, const std::string &content, std::string &err) {
  const std::string where = path(p);
  FILE *f = std::fopen(where.c_str(), "wb");
  if (f == nullptr) {
    err = "cannot write " + quoted(where) + ": " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  if (std::fclose(f) != 0 || !ok) {
    err = "cannot write " + quoted(where) + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void Host::finish(bool stats) {
  sweep("a call before the end");
  transcript_.always("end at " + std::to_string(now_) + ": " + std::to_string(users_.size()) +
                     " user(s), " + std::to_string(transcript_.violations()) + " violation(s)");
  if (stats) {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    transcript_.always("peak memory: " + std::to_string(ru.ru_maxrss) + " KiB");
  }
}

}  // namespace host
