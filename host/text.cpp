#include "text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace host {

std::string hex4(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04x", v & 0xFFFFu);
  return buf;
}

namespace {

// A byte as \xHH.
void escape(unsigned char c, std::string &out) {
  static const char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[c >> 4];
  out += kHex[c & 15u];
}

// The length of the UTF-8 character of two bytes or more at s[i] when it is well formed (not
// overlong, no surrogate, at most U+10FFFF) and no C1 control (U+0080 to U+009F); else 0.
size_t printableAt(const std::string &s, size_t i) {
  static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};  // by length: none overlong
  const auto lead = static_cast<unsigned char>(s[i]);
  const size_t n = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  if (n == 0 || s.size() - i < n) return 0;
  uint32_t cp = lead & (0x3Fu >> (n - 1));
  for (size_t k = i + 1; k < i + n; ++k) {
    const auto next = static_cast<unsigned char>(s[k]);
    if ((next & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (next & 0x3Fu);
  }
  const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
  return cp >= kLeast[n] && cp >= 0xA0 && cp <= 0x10FFFF && !surrogate ? n : 0;
}

}  // namespace

std::string shown(const std::string &latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (char ch : latin1) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      escape(c, out);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string written(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = c >= 0x80 ? printableAt(text, i) : c >= 0x20 && c < 0x7F ? 1 : 0;
    if (n == 0) {
      escape(c, out);
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
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
