#include "audit-log.h"

#include <syslog.h>

#include "format.h"
#include "safe-text.h"

namespace tl {
namespace {

// One line, whatever the text holds: control characters and line breaks escaped, the tab that
// escaped() lets through, and every backslash too, so that no text (a comment a delegate
// wrote) can pass for one of the escapes.
void send(const std::string &text) {
  std::string plain;
  for (char c : text) plain += c == '\\' ? std::string("\\x5C") : std::string(1, c);
  std::string line;
  for (char c : escaped(plain)) {
    if (c == '\t') {
      line += "\\x09";
    } else {
      line += c;
    }
  }
  openlog("tolvane-list", LOG_PID, LOG_AUTHPRIV);
  syslog(LOG_NOTICE, "%s", line.c_str());
  closelog();
}

std::string record(const Loaded &l) {
  return describeRecord(l, " # ");
}

}  // namespace

std::string loggedChange(const TableChange &c) {
  switch (c.kind) {
    case TableChange::Added:
      return "+ line " + std::to_string(c.after->line) + " slot " + std::to_string(c.after->slot) +
             " (" + record(*c.after) + ")";
    case TableChange::Removed:
      return "- line " + std::to_string(c.before->line) + " slot " +
             std::to_string(c.before->slot) + " (" + record(*c.before) + ")";
    case TableChange::Moved:
      break;
  }
  return "~ line " + std::to_string(c.after->line) + " slot " + std::to_string(c.after->slot) +
         ", was line " + std::to_string(c.before->line) + " slot " +
         std::to_string(c.before->slot) + " (" + record(*c.after) + ")";
}

void logInstalled(const Invoker &who, const std::string &verb, const std::string &list,
                  const std::vector<TableChange> &changes) {
  std::string what;
  for (const TableChange &c : changes) what += (what.empty() ? "" : "; ") + loggedChange(c);
  if (what.empty()) what = "comments and layout only, the same table";
  send(list + ": " + verb + " by " + who.shown() + ": installed: " + what);
}

void logRefused(const Invoker &who, const std::string &verb, const std::string &list,
                const std::string &code, const std::string &message) {
  send(list + ": " + verb + " by " + who.shown() + ": refused: " + message + " [" + code + "]");
}

}  // namespace tl
