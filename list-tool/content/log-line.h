// The line a change leaves in the system log, within the bound every syslog receiver must take:
// a datagram of 2,048 bytes, header included, so the line's own text stays within kLogTextMost.
// Whatever comes from the list or the file system (its path, a comment, a refusal's message)
// stands in double quotes, escaped so that it can neither close its quotes nor start a line nor
// turn what follows around; a long one is cut, with the count of bytes left out, and a change of
// many records is summed up, naming the change in the journal for the rest.
//
//   "/etc/tolvane/admins.list": add by root for alice (sudo): installed: + line 20 slot 4
//   (registration seed 366, PUID seed any, 172.16.0.0 to 172.16.255.255 # "Kay, ops")
#ifndef TOLVANE_LIST_CONTENT_LOG_LINE_H
#define TOLVANE_LIST_CONTENT_LOG_LINE_H

#include <cstddef>
#include <string>
#include <vector>

#include "content/report.h"
#include "content/table-diff.h"

namespace tl {

// The most a datagram to the system log holds, and the most of it a line's text takes (the rest
// is the header: "<PRI>Mmm dd hh:mm:ss tolvane-list[PID]: ").
constexpr size_t kLogDatagramMost = 2048;
constexpr size_t kLogTextMost = 2000;

// The most of a comment a line shows, and of a path or a refusal's message, in bytes as written.
constexpr size_t kLogCommentMost = 96;
constexpr size_t kLogPathMost = 320;
constexpr size_t kLogMessageMost = 640;

// Text as the log line holds it: a backslash, a double quote, a tab, control characters,
// characters that set the direction of text and bytes that are not UTF-8 as \xHH.
std::string logText(const std::string &text);

// The text in double quotes, at most `most` bytes of it as written: a longer one is cut after
// the last character that fits, and says how many bytes of the text were left out:
// "Kay, ops and..." (cut: 54920 more bytes).
std::string logQuoted(const std::string &text, size_t most);

// The head of a line: "\"LIST\": VERB by WHO", WHO as Invoker::shown() gives it.
std::string logHead(const std::string &list, const std::string &verb, const std::string &who);

// The changes of a table as a line holds them, within `most` bytes: "+ line 20 slot 4 (...);
// - line 3 slot 1 (...)", or "comments and layout only, the same table". What does not fit is
// summed up: "; and 25 more (change ID in the journal)" (the sum alone, "and 28 more (...)",
// when not even the first change fits; a `most` below the sum's own length is exceeded).
std::string loggedChanges(const std::vector<TableChange> &changes, size_t most,
                          const std::string &id);

// A refusal as a line holds it: refused: "MESSAGE" [code].
std::string loggedRefusal(const std::string &message, const std::string &code);

// The line, head and text, cut to kLogTextMost should anything have grown past it.
std::string logLine(const std::string &head, const std::string &what);

}  // namespace tl

#endif
