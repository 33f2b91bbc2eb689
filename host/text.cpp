#include "text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace host {

std::string hex4(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04x", v & 0xFFFFu);
  return buf;
}

std::string shown(const std::string &latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (char ch : latin1) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string quoted(const std::string &word) {
  if (word.size() <= kWordShown) return "'" + shown(word) + "'";
  return "'" + shown(word.substr(0, kWordShown)) + "'... (" + std::to_string(word.size()) +
         " bytes)";
}

std::string shownC(const char *s, size_t max) {
  if (s == nullptr) return "(null)";
  return shown(std::string(s, strnlen(s, max)));
}

std::string format(const char *fmt, va_list ap) {
  char buf[kMessageMax + 1];
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  if (n < 0) return "(unformattable)";
  return std::string(buf, std::min(static_cast<size_t>(n), kMessageMax));
}

}  // namespace host
