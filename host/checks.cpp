// The host's checks of the plug-in: the plug-in id, the user records it may and may not write,
// the guard bytes around each user's reserved bytes, and services called for records that are
// no live user's.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "host.h"

namespace host {
namespace {

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

}  // namespace

void Host::verify(Describe describe, HostUser &u, bool subject) {
  if (std::memcmp(&u.shadow, &u.rec, sizeof u.rec) != 0) {
    checkRecord(describe(), u, subject);
    u.shadow = u.rec;
  }
  checkGuards(describe, u.label, u.info, static_cast<size_t>(infoSize_));
}

void Host::sweep(const std::string &what) {
  const auto describe = [&] { return what; };
  for (auto &kv : users_) verify(describe, kv.second, false);
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
    transcript_.violation(what + " wrote " + fieldAt(i) + " of " + u.label + "'s record" + buf);
  }
}

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
    transcript_.violation(describe() + " wrote into the " + std::to_string(before) +
                          " byte(s) before " + owner + "'s reserved bytes");
  if (after > 0)
    transcript_.violation(describe() + " wrote into the " + std::to_string(after) +
                          " byte(s) past the end of " + owner + "'s reserved bytes");
  // Repaired, so that each stray write is reported once.
  std::memset(area, kGuardByte, kGuard);
  std::memset(area + kGuard + size, kGuardByte, kGuard);
}

void Host::checkId(const char *service, PluginID id) {
  if (id != id_) {
    transcript_.violation(std::string(service) + " with plug-in id " + std::to_string(id) +
                          ", not " + std::to_string(id_));
  }
}

void Host::strayUser(const char *service) {
  transcript_.violation(std::string(service) +
                        " with a user record that is not between creation and deletion");
}

}  // namespace host
