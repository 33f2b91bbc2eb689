#include "content/log-line.h"

#include "content/shown.h"
#include "content/text-out.h"

namespace tl {
namespace {

// One character of the text as the line holds it, and how many bytes of the text it takes.
std::string unitAt(const std::string &text, size_t i, size_t &length) {
  unsigned cp = 0;
  length = static_cast<unsigned char>(text[i]) >= 0x80 ? utf8At(text, i, cp) : 0;
  if (length == 0) length = 1;
  return logText(text.substr(i, length));
}

// A record as the line holds it: "(registration seed 366, PUID seed any, 172.16.0.0 to
// 172.16.255.255 # \"Kay\")".
std::string logged(const Loaded &l) {
  Loaded bare = l;
  bare.comment.clear();
  return "(" + describeRecord(bare) +
         (l.comment.empty() ? "" : " # " + logQuoted(l.comment, kLogCommentMost)) + ")";
}

// One change of the table as the line holds it: "+ line 20 slot 4 (...)".
std::string loggedChange(const TableChange &c) {
  switch (c.kind) {
    case TableChange::Added:
      return "+ line " + std::to_string(c.after->line) + " slot " + std::to_string(c.after->slot) +
             " " + logged(*c.after);
    case TableChange::Removed:
      return "- line " + std::to_string(c.before->line) + " slot " +
             std::to_string(c.before->slot) + " " + logged(*c.before);
    case TableChange::Moved:
      break;
  }
  return "~ line " + std::to_string(c.after->line) + " slot " + std::to_string(c.after->slot) +
         ", was line " + std::to_string(c.before->line) + " slot " +
         std::to_string(c.before->slot) + " " + logged(*c.after);
}

// What sums up the changes that did not fit, after those shown ("" for none).
std::string summedUp(const std::string &shown, size_t more, const std::string &id) {
  return shown + (shown.empty() ? "" : "; ") + "and " + std::to_string(more) + " more (change " +
         id + " in the journal)";
}

}  // namespace

std::string logText(const std::string &text) {
  std::string plain;
  for (char c : text) {
    plain += c == '\\' ? std::string("\\x5C") : c == '"' ? std::string("\\x22") : std::string(1, c);
  }
  std::string line;
  for (char c : escaped(plain)) line += c == '\t' ? std::string("\\x09") : std::string(1, c);
  return line;
}

std::string logQuoted(const std::string &text, size_t most) {
  std::string inside;
  size_t i = 0;
  while (i < text.size()) {
    size_t length = 0;
    const std::string unit = unitAt(text, i, length);
    if (inside.size() + unit.size() > most) break;
    inside += unit;
    i += length;
  }
  std::string quoted = "\"" + inside + "\"";
  if (i < text.size()) quoted += " (cut: " + std::to_string(text.size() - i) + " more bytes)";
  return quoted;
}

std::string logHead(const std::string &list, const std::string &verb, const std::string &who) {
  return logQuoted(list, kLogPathMost) + ": " + verb + " by " + logText(who);
}

std::string loggedChanges(const std::vector<TableChange> &changes, size_t most,
                          const std::string &id) {
  if (changes.empty()) return "comments and layout only, the same table";
  // Room is kept for the sum of what does not fit, whatever its count.
  const size_t room = std::string("; ").size() + summedUp("", changes.size(), id).size();
  std::string what;
  for (size_t i = 0; i < changes.size(); ++i) {
    const std::string one = (what.empty() ? "" : "; ") + loggedChange(changes[i]);
    const bool last = i + 1 == changes.size();
    if (what.size() + one.size() + (last ? 0 : room) > most) {
      return summedUp(what, changes.size() - i, id);
    }
    what += one;
  }
  return what;
}

std::string loggedRefusal(const std::string &message, const std::string &code) {
  return "refused: " + logQuoted(message, kLogMessageMost) + " [" + logText(code) + "]";
}

std::string logLine(const std::string &head, const std::string &what) {
  std::string line = head + ": " + what;
  if (line.size() > kLogTextMost) line.resize(kLogTextMost);
  return line;
}

}  // namespace tl
