// The plug-in's code linked with a minimal host of this test's own: every length byte from 0 to
// 255 with arbitrary name bytes. Nothing is read or written outside the user's record (each
// record is a heap block of its own, so the sanitizer build sees any stray access), nothing is
// written for a length above 30, and the name prints as the plug-in promises.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "s-pluginapi.h"

namespace {

std::map<const ServerUserRec *, uint8> bytes;
std::string lastGlobal;

std::string formatted(const char *fmt, va_list ap) {
  char buf[256];
  std::vsnprintf(buf, sizeof buf, fmt, ap);  // NOLINT(clang-analyzer-valist.Uninitialized)
  return buf;
}

}  // namespace

// The host services, as far as this test needs them.
extern "C" {
void setPluginUserInfoSize(PluginID, int) {}
void *getPluginUserInfo(PluginID, ServerUserRec *user) {
  return &bytes[user];
}
void scheduleTimerEvent(PluginID, AnyType, int) {}
// NOLINTNEXTLINE(cert-dcl50-cpp): the host's services are C variadics.
void FormattedLogMessage(ServerUserRec *, const char *, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  formatted(fmt, ap);
  va_end(ap);
}
MsgDest toUser(ServerUserRec *) {
  return nullptr;
}
void sendMsgUserStatus(MsgDest, ServerUserRec *, int, const char *) {}
// NOLINTNEXTLINE(cert-dcl50-cpp)
void WizGlobalMessage(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  lastGlobal = formatted(fmt, ap);
  va_end(ap);
}
// NOLINTNEXTLINE(cert-dcl50-cpp)
void UserMessage(ServerUserRec *, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  formatted(fmt, ap);
  va_end(ap);
}
}

TEST(Names, EveryLengthByteWithArbitraryBytes) {
  char path[] = "/tmp/tolvane-names-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const char list[] = "{}{}\"*.*.*.*\"\n";  // everybody whose registration seed is 0
  ASSERT_EQ(write(fd, list, sizeof list - 1), static_cast<ssize_t>(sizeof list - 1));
  close(fd);
  char arg0[] = "tolvane.so";
  char *argv[] = {arg0, path, nullptr};
  ASSERT_EQ(initializeServerPlugin(9, 2, argv), 9);
  handleTimerEvent(nullptr, 9, 0);
  std::mt19937 rng(31);
  for (int len = 0; len <= 255; ++len) {
    for (int round = 0; round < 4; ++round) {
      // Its own heap block, exactly the record's size.
      const std::unique_ptr<ServerUserRec, decltype(&std::free)> owner(
          static_cast<ServerUserRec *>(std::malloc(sizeof(ServerUserRec))), &std::free);
      ServerUserRec *u = owner.get();
      ASSERT_NE(u, nullptr);
      auto *raw = reinterpret_cast<uint8 *>(u);
      for (size_t i = 0; i < sizeof *u; ++i) raw[i] = static_cast<uint8>(rng());
      u->user.name[0] = static_cast<uint8>(len);
      // Round 0: no NUL among the name bytes; later rounds: whatever the bytes are.
      for (int i = 1; i < 32 && round == 0; ++i) u->user.name[i] |= 0x01;
      u->crc = 0x3E71D5A4u;
      u->counter = 0;
      u->loggedOn = 1;
      u->flags = 0;
      ServerUserRec before;
      std::memcpy(&before, u, sizeof before);
      noteUserCreation(nullptr, 9, u);
      noteUserRoomEntry(nullptr, 9, u, nullptr);
      ASSERT_EQ(bytes[u], 2) << "length " << len;
      // Only flags and, for a length up to 30, the byte after the name have changed.
      ServerUserRec want = before;
      want.flags = 0x0003;
      if (len <= 30) want.user.name[len + 1] = 0;
      ASSERT_EQ(std::memcmp(&want, u, sizeof want), 0) << "length " << len;
      // The name as printed: at most 31 characters, up to the first NUL.
      const char *first = reinterpret_cast<const char *>(before.user.name + 1);
      const size_t shown = strnlen(first, len <= 30 ? static_cast<size_t>(len) : 31u);
      const std::string name(first, shown);
      EXPECT_EQ(lastGlobal, "Attention on deck! " + name + " has come aboard!") << "length " << len;
      noteUserDeletion(nullptr, 9, u);
      EXPECT_EQ(lastGlobal, name + " has left the building!") << "length " << len;
      ASSERT_EQ(std::memcmp(&want, u, sizeof want), 0) << "length " << len;
      bytes.erase(u);
    }
  }
  std::remove(path);
}
