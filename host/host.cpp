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

namespace {

// The registration mask of the users `churn` makes: their seeds are 53 and 54.
constexpr uint32_t kChurnMask = 0x3E71D5A4u;

struct Field {
  size_t offset;
  size_t size;
  const char *name;
};

// The record's fields, to name the place of a stray write.
const Field kFields[] = {
    {offsetof(ServerUserRec, user.userID), 4, "user.userID"},
    {offsetof(ServerUserRec, user.roomID), 2, "user.roomID"},
    {offsetof(ServerUserRec, user.faceNbr), 2, "user.faceNbr"},
    {offsetof(ServerUserRec, user.colorNbr), 2, "user.colorNbr"},
    {offsetof(ServerUserRec, user.nbrProps), 2, "user.nbrProps"},
    {offsetof(ServerUserRec, user.name), 32, "user.name"},
    {offsetof(ServerUserRec, crc), 4, "crc"},
    {offsetof(ServerUserRec, counter), 4, "counter"},
    {offsetof(ServerUserRec, puidCtr), 4, "puidCtr"},
    {offsetof(ServerUserRec, puidCRC), 4, "puidCRC"},
    {offsetof(ServerUserRec, feIPAddr), 4, "feIPAddr"},
    {offsetof(ServerUserRec, loggedOn), 2, "loggedOn"},
    {offsetof(ServerUserRec, flags), 2, "flags"},
    {offsetof(ServerUserRec, connectTime), 4, "connectTime"},
};

// Names the byte at `offset` of a user record: "crc", "user.name[3]", "padding at 62".
std::string fieldAt(size_t offset) {
  for (const Field &f : kFields) {
    if (offset < f.offset || offset >= f.offset + f.size) continue;
    if (f.size == 32) return std::string(f.name) + "[" + std::to_string(offset - f.offset) + "]";
    return f.name;
  }
  return "padding at " + std::to_string(offset);
}

std::string hex4(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04x", v & 0xFFFFu);
  return buf;
}

}  // namespace

Host::Host(FILE *out, PluginID id, bool quiet) : out_(out), id_(id), quiet_(quiet), pluginDat_(id) {
  current = this;
  scratch_.assign(kGuard * 2 + kScratch, kGuardByte);
}

Host::~Host() {
  if (current == this) current = nullptr;
}

void Host::line(const std::string &s) {
  if (!quiet_) always(s);
}

void Host::always(const std::string &s) {
  std::fputs(s.c_str(), out_);
  std::fputc('\n', out_);
}

void Host::violation(const std::string &what) {
  ++violations_;
  always("violation: " + what);
}

void Host::checkId(const char *service, PluginID id) {
  if (id != id_) {
    violation(std::string(service) + " with plug-in id " + std::to_string(id) + ", not " +
              std::to_string(id_));
  }
}

HostUser *Host::userOf(const ServerUserRec *user) const {
  const auto it = byRec_.find(user);
  return it != byRec_.end() ? it->second : nullptr;
}

void Host::strayUser(const char *service) {
  violation(std::string(service) + " with a user record that is not between creation and deletion");
}

HostUser *Host::find(const std::string &key, std::string &err) {
  const auto it = users_.find(key);
  if (it != users_.end()) return &it->second;
  err = "no user '" + key + "' (create it with 'user " + key + "')";
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

// ---- Start-up and entry points ----

void Host::start(const Plugin &plugin, const std::vector<std::string> &args, int argc) {
  plugin_ = plugin;
  args_ = args;
  for (int i = 0; i < argc; ++i) argv_.push_back(args_[static_cast<size_t>(i)].data());
  argv_.push_back(nullptr);
  std::string call = "initializeServerPlugin(id " + std::to_string(id_) + ", argc " +
                     std::to_string(argc) + ", argv {";
  for (int i = 0; i < argc; ++i)
    call += (i > 0 ? ", \"" : "\"") + shown(args_[static_cast<size_t>(i)]) + "\"";
  line(call + "})");
  inInit_ = true;
  const AnyType result = plugin_.initializeServerPlugin(id_, argc, argv_.data());
  inInit_ = false;
  pluginDat_ = result;
  line("  returned " + std::to_string(result));
}

// Every record is compared with its shadow, the record as the plug-in last found it: after the
// call for the call's own user, and for every user while there are few of them; with many, the
// others are compared at each timer event (sweep) and at the end.
template <typename Describe, typename Call>
void Host::enter(Describe describe, HostUser *subject, ServerRoomRec *room, Call call) {
  if (!quiet_) always(describe());
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
    violation(describe() + " wrote the server state");
  if (room != nullptr && std::memcmp(&roomBefore, room, sizeof *room) != 0)
    violation(describe() + " wrote the room record");
}

template <typename Describe>
void Host::verify(Describe describe, HostUser &u, bool subject) {
  if (std::memcmp(&u.shadow, &u.rec, sizeof u.rec) != 0) {
    checkRecord(describe(), u, subject);
    u.shadow = u.rec;
  }
  checkGuards(describe, u.key, u.info, static_cast<size_t>(infoSize_));
}

void Host::sweep(const std::string &what) {
  for (auto &kv : users_) verify([&] { return what; }, kv.second, false);
}

void Host::checkRecord(const std::string &what, const HostUser &u, bool subject) {
  const size_t nameLen = u.shadow.user.name[0];
  if (subject) {
    // What the call's own user may have changed, applied to the shadow: nothing else differs?
    ServerUserRec allowed = u.shadow;
    allowed.flags = u.rec.flags;
    if (nameLen <= 30 && u.rec.user.name[nameLen + 1] == 0) allowed.user.name[nameLen + 1] = 0;
    if (std::memcmp(&allowed, &u.rec, sizeof allowed) == 0) return;
  }
  const auto *a = reinterpret_cast<const uint8_t *>(&u.shadow);
  const auto *b = reinterpret_cast<const uint8_t *>(&u.rec);
  const size_t flagsAt = offsetof(ServerUserRec, flags);
  const size_t nulAt = offsetof(ServerUserRec, user.name) + nameLen + 1;
  for (size_t i = 0; i < sizeof(ServerUserRec); ++i) {
    if (a[i] == b[i]) continue;
    if (subject && (i == flagsAt || i == flagsAt + 1)) continue;
    if (subject && nameLen <= 30 && i == nulAt && b[i] == 0) continue;
    char buf[64];
    std::snprintf(buf, sizeof buf, " (0x%02x -> 0x%02x)", a[i], b[i]);
    violation(what + " wrote " + fieldAt(i) + " of " + u.key + "'s record" + buf);
  }
}

template <typename Describe>
void Host::checkGuards(Describe describe, const std::string &owner, uint8_t *area, size_t size) {
  static const std::vector<uint8_t> intact(kGuard, kGuardByte);
  if (std::memcmp(area, intact.data(), kGuard) == 0 &&
      std::memcmp(area + kGuard + size, intact.data(), kGuard) == 0)
    return;
  size_t before = 0, after = 0;
  for (size_t i = 0; i < kGuard; ++i) {
    if (area[i] != kGuardByte) before = std::max(before, kGuard - i);
    if (area[kGuard + size + i] != kGuardByte) after = i + 1;
  }
  if (before == 0 && after == 0) return;
  if (before > 0)
    violation(describe() + " wrote into the " + std::to_string(before) + " byte(s) before " +
              owner + "'s reserved bytes");
  if (after > 0)
    violation(describe() + " wrote into the " + std::to_string(after) +
              " byte(s) past the end of " + owner + "'s reserved bytes");
  // Repaired, so that each stray write is reported once.
  std::memset(area, kGuardByte, kGuard);
  std::memset(area + kGuard + size, kGuardByte, kGuard);
}

// ---- Commands ----

HostUser *Host::createUser(const std::string &key, const UserSpec &s, std::string &err) {
  const auto made = users_.try_emplace(key);
  if (!made.second) {
    err = "user '" + key + "' exists already";
    return nullptr;
  }
  HostUser *u = &made.first->second;
  u->key = key;
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
  enter([&] { return "noteUserCreation(" + key + ")"; }, u, nullptr,
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
  enter([&] { return "noteUserRoomEntry(" + u->key + ", " + name + ")"; }, u, room,
        [&] { plugin_.noteUserRoomEntry(&state_, pluginDat_, &u->rec, room); });
}

void Host::deleteUser(HostUser *u) {
  enter([&] { return "noteUserDeletion(" + u->key + ")"; }, u, nullptr,
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

// Users who come and go: each is created, logs on, enters a room and is deleted; every
// `every` users the clock moves on by 150, so the plug-in reloads its list. Every other user
// has the registration seed 53 (Ada's in the example list), from 10.1.x.y.
bool Host::churn(uint32_t users, uint32_t every, std::string &err) {
  UserSpec fields;
  const std::string room = "lobby";
  for (uint32_t i = 0; i < users; ++i) {
    const std::string key = "churn" + std::to_string(i);
    fields.nameBytes = key;
    fields.crc = kChurnMask ^ (i % 2 == 0 ? 53u : 54u);
    fields.ip = 0x0A010000u | (i & 0xFFFFu);
    HostUser *u = createUser(key, fields, err);
    if (u == nullptr) return false;  // a name in use: bad input, not the plug-in's fault
    u->rec.loggedOn = 1;
    u->shadow.loggedOn = 1;
    enterRoom(u, room);
    deleteUser(u);
    if ((i + 1) % every == 0) advance(150);
  }
  return true;
}

bool Host::run(const Command &cmd, std::string &err) {
  switch (cmd.op) {
    case Op::None:
    case Op::Write:
      return true;
    case Op::Note:
      always("-- " + cmd.args[0]);
      return true;
    case Op::Churn:
      return churn(cmd.amount, cmd.every, err);
    case Op::User:
      return createUser(cmd.args[0], cmd.user, err) != nullptr;
    case Op::Wait:
      advance(cmd.amount);
      return true;
    case Op::Remove:
      if (std::remove(path(cmd.args[0]).c_str()) != 0) {
        err = "cannot remove " + path(cmd.args[0]) + ": " + std::strerror(errno);
        return false;
      }
      return true;
    case Op::Rename:
      if (std::rename(path(cmd.args[0]).c_str(), path(cmd.args[1]).c_str()) != 0) {
        err = "cannot rename " + path(cmd.args[0]) + ": " + std::strerror(errno);
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
      line("  " + u->key + ": flags " + hex4(u->rec.flags) + ", byte " + byte);
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
    err = "cannot write " + where + ": " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  if (std::fclose(f) != 0 || !ok) {
    err = "cannot write " + where + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void Host::finish(bool stats) {
  sweep("a call before the end");
  always("end at " + std::to_string(now_) + ": " + std::to_string(users_.size()) + " user(s), " +
         std::to_string(violations_) + " violation(s)");
  if (stats) {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    always("peak memory: " + std::to_string(ru.ru_maxrss) + " KiB");
  }
}

// ---- Services ----

void Host::setPluginUserInfoSize(PluginID id, int size) {
  line("  [reserve] " + std::to_string(size) + " byte(s) per user");
  checkId("setPluginUserInfoSize", id);
  if (!inInit_ || infoSizeSet_) {
    violation("setPluginUserInfoSize outside start-up or more than once");
    return;
  }
  if (size < 0 || size > 4096) {
    violation("setPluginUserInfoSize with " + std::to_string(size) + " bytes (0 to 4096)");
    return;
  }
  infoSize_ = size;
  infoSizeSet_ = true;
}

void *Host::getPluginUserInfo(PluginID id, ServerUserRec *user) {
  HostUser *u = userOf(user);
  if (!quiet_) line("  [userinfo " + (u != nullptr ? u->key : std::string("?")) + "]");
  checkId("getPluginUserInfo", id);
  if (u == nullptr) {
    strayUser("getPluginUserInfo");
    return scratch_.data() + kGuard;
  }
  return u->info + kGuard;
}

void Host::scheduleTimerEvent(PluginID id, AnyType datum, int delay) {
  const int64_t due = now_ + (delay > 0 ? delay : 0);
  if (!quiet_)
    line("  [timer] armed datum " + std::to_string(datum) + " delay " + std::to_string(delay) +
         " (due at " + std::to_string(due) + ")");
  checkId("scheduleTimerEvent", id);
  timers_.push(TimerEvent{due, timerSeq_++, datum});
}

void Host::log(ServerUserRec *user, const char *tag, const std::string &text) {
  std::string who;
  if (user != nullptr) {
    HostUser *u = userOf(user);
    if (u == nullptr) strayUser("FormattedLogMessage");
    who = " " + (u != nullptr ? u->key : std::string("?"));
  }
  if (!quiet_) line("  [log" + who + "] " + shownC(tag, 64) + ": " + shown(text));
}

MsgDest Host::toUser(ServerUserRec *user) {
  HostUser *u = userOf(user);
  if (!quiet_) line("  [toUser " + (u != nullptr ? u->key : std::string("?")) + "]");
  if (u == nullptr) {
    strayUser("toUser");
    return nullptr;
  }
  // The handle is the record's address: the host can check it without following it.
  return reinterpret_cast<MsgDest>(&u->rec);
}

void Host::sendMsgUserStatus(MsgDest dest, ServerUserRec *user, int flags, const char *text) {
  HostUser *to = userOf(reinterpret_cast<const ServerUserRec *>(dest));
  HostUser *u = userOf(user);
  if (!quiet_)
    line("  [status to " + (to != nullptr ? to->key : std::string("?")) + "] " +
         (u != nullptr ? u->key : std::string("?")) + " flags " +
         hex4(static_cast<unsigned>(flags)) + " \"" + shownC(text, kMessageMax) + "\"");
  if (to == nullptr) violation("sendMsgUserStatus to a destination toUser did not give out");
  if (u == nullptr) strayUser("sendMsgUserStatus");
}

void Host::wizGlobalMessage(const std::string &text) {
  if (!quiet_) line("  [global] " + shown(text));
}

void Host::userMessage(ServerUserRec *user, const std::string &text) {
  HostUser *u = userOf(user);
  if (!quiet_) line("  [to " + (u != nullptr ? u->key : std::string("?")) + "] " + shown(text));
  if (u == nullptr) strayUser("UserMessage");
}

}  // namespace host
