// How the host shows the plug-in's text: Latin-1 bytes as UTF-8, control bytes escaped.
#ifndef TOLVANE_HOST_TEXT_H
#define TOLVANE_HOST_TEXT_H

#include <cstdarg>
#include <string>

namespace host {

// The longest message the host formats; longer ones are cut, as the server's buffers would.
constexpr size_t kMessageMax = 255;

// Latin-1 text as UTF-8: bytes below 0x20, 0x7F and '\' come out as \xHH and \\.
std::string shown(const std::string &latin1);

// The most of a word from the scenario or the command line that a message shows.
constexpr size_t kWordShown = 80;

// A word in a message: its first kWordShown bytes, shown, in single quotes; a longer word is
// marked as cut and its length given: 'abc'... (300 bytes).
std::string quoted(const std::string &word);

// A NUL-terminated string read up to `max` bytes, shown.
std::string shownC(const char *s, size_t max);

// A 16-bit value as 0xHHHH.
std::string hex4(unsigned v);

// Formats a printf-style message as the server does, cut at kMessageMax bytes.
std::string format(const char *fmt, va_list ap);

}  // namespace host

#endif
