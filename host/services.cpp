// The host services: what each does in the host, and its C entry point, exported from the
// executable under its C name so that the dynamic loader binds the plug-in's calls to it.
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

namespace host {

// What each service does in the host: prints its transcript line and checks its arguments.
void Host::setPluginUserInfoSize(PluginID id, int size) {
  transcript_.line("  [reserve] " + std::to_string(size) + " byte(s) per user");
  checkId("setPluginUserInfoSize", id);
  if (!inInit_ || infoSizeSet_) {
    transcript_.violation("setPluginUserInfoSize outside start-up or more than once");
    return;
  }
  if (size < 0 || size > 4096) {
    transcript_.violation("setPluginUserInfoSize with " + std::to_string(size) +
                          " bytes (0 to 4096)");
    return;
  }
  infoSize_ = size;
  infoSizeSet_ = true;
}

void *Host::getPluginUserInfo(PluginID id, ServerUserRec *user) {
  HostUser *u = userOf(user);
  if (!quiet()) transcript_.line("  [userinfo " + who(u) + "]");
  checkId("getPluginUserInfo", id);
  if (u == nullptr) {
    strayUser("getPluginUserInfo");
    return scratch_.data() + kGuard;
  }
  return u->info + kGuard;
}

void Host::scheduleTimerEvent(PluginID id, AnyType datum, int delay) {
  const int64_t due = now_ + (delay > 0 ? delay : 0);
  if (!quiet())
    transcript_.line("  [timer] armed datum " + std::to_string(datum) + " delay " +
                     std::to_string(delay) + " (due at " + std::to_string(due) + ")");
  checkId("scheduleTimerEvent", id);
  timers_.push(TimerEvent{due, timerSeq_++, datum});
}

void Host::log(ServerUserRec *user, const char *tag, const std::string &text) {
  std::string name;
  if (user != nullptr) {
    HostUser *u = userOf(user);
    if (u == nullptr) strayUser("FormattedLogMessage");
    name = " " + who(u);
  }
  if (!quiet()) transcript_.line("  [log" + name + "] " + shownC(tag, 64) + ": " + shown(text));
}

MsgDest Host::toUser(ServerUserRec *user) {
  HostUser *u = userOf(user);
  if (!quiet()) transcript_.line("  [toUser " + who(u) + "]");
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
  if (!quiet())
    transcript_.line("  [status to " + who(to) + "] " + who(u) + " flags " +
                     hex4(static_cast<unsigned>(flags)) + " \"" + shownC(text, kMessageMax) + "\"");
  if (to == nullptr)
    transcript_.violation("sendMsgUserStatus to a destination toUser did not give out");
  if (u == nullptr) strayUser("sendMsgUserStatus");
}

void Host::wizGlobalMessage(const std::string &text) {
  if (!quiet()) transcript_.line("  [global] " + shown(text));
}

void Host::userMessage(ServerUserRec *user, const std::string &text) {
  HostUser *u = userOf(user);
  if (!quiet()) transcript_.line("  [to " + who(u) + "] " + shown(text));
  if (u == nullptr) strayUser("UserMessage");
}

}  // namespace host

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
