// How the host shows text: the plug-in's Latin-1 bytes as UTF-8, the scenario's text as written;
// control bytes escaped in both, so that every line stays one line and nothing reaches the
// terminal that it would obey.
#ifndef TOLVANE_HOST_TEXT_H
#define TOLVANE_HOST_TEXT_H

#include <cstdarg>
#include <string>

namespace host {

// The longest message the host formats; longer ones are cut, as the server's buffers would.
constexpr size_t kMessageMax = 255;

// Latin-1 text as UTF-8: its control bytes (below 0x20, 0x7F, and 0x80 to 0x9F) come out as
// \xHH, and '\' as \\.
std::string shown(const std::string &latin1);

// Text of the scenario (a command as echoed, a block's line, a note, a user's or a room's name)
// as written, but for its control characters, shown as \xHH byte by byte: bytes below 0x20,
// 0x7F, the C1 controls U+0080 to U+009F, and every byte that is not part of a UTF-8 character.
std::string written(const std::string &text);

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
