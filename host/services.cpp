// The host services, exported from the executable under their C names so that the dynamic
// loader binds the plug-in's calls to them. Each forwards to the running host.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "host.h"
#include "s-pluginapi.h"
#include "text.h"

namespace {

// The running host; a service called with none running is a fault of the caller.
host::Host &running() {
  if (host::Host::current == nullptr) {
    std::fputs("tolvane-host: a host service was called with no host running\n", stderr);
    std::abort();
  }
  return *host::Host::current;
}

// The message, formatted as the server does; a quiet host prints none, so it skips the work.
std::string textOf(const char *fmt, va_list ap) {
  return running().quiet() ? std::string() : host::format(fmt, ap);
}

}  // namespace

extern "C" {

void setPluginUserInfoSize(PluginID id, int size) {
  running().setPluginUserInfoSize(id, size);
}

void *getPluginUserInfo(PluginID id, ServerUserRec *user) {
  return running().getPluginUserInfo(id, user);
}

void scheduleTimerEvent(PluginID id, AnyType timerDat, int delay) {
  running().scheduleTimerEvent(id, timerDat, delay);
}

void FormattedLogMessage(ServerUserRec *user, const char *tag, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const std::string text = textOf(fmt, ap);
  va_end(ap);
  running().log(user, tag, text);
}

MsgDest toUser(ServerUserRec *user) {
  return running().toUser(user);
}

void sendMsgUserStatus(MsgDest dest, ServerUserRec *user, int flags, const char *text) {
  running().sendMsgUserStatus(dest, user, flags, text);
}

void WizGlobalMessage(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const std::string text = textOf(fmt, ap);
  va_end(ap);
  running().wizGlobalMessage(text);
}

void UserMessage(ServerUserRec *user, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const std::string text = textOf(fmt, ap);
  va_end(ap);
  running().userMessage(user, text);
}

}  // extern "C"
