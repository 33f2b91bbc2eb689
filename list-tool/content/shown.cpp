#include "content/shown.h"

#include <cstdio>

namespace tl {

bool setsDirection(unsigned cp) {
  return cp == 0x200E || cp == 0x200F || cp == 0x061C || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069);
}

size_t utf8At(const std::string &s, size_t i, unsigned &cp) {
  const auto b = static_cast<unsigned char>(s[i]);
  const size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  cp = b & (0x7Fu >> n);
  for (size_t k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (c & 0x3Fu);
  }
  const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
  const bool bad = (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF;
  return overlong || bad ? 0 : n;
}

size_t utf8Length(const std::string &s, size_t i) {
  unsigned cp = 0;
  const size_t n = utf8At(s, i, cp);
  return n > 0 && cp >= 0xA0 && !setsDirection(cp) ? n : 0;
}

std::string escaped(const std::string &text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t n = b >= 0x80 ? utf8Length(text, i) : 0;
    const bool shown = n > 0 || (b >= 0x20 && b < 0x7F) || b == '\t';
    if (shown) {
      out.append(text, i, n > 0 ? n : 1);
      i += n > 0 ? n : 1;
      continue;
    }
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 15u];
    ++i;
  }
  return out;
}

namespace {

// The length of the UTF-8 sequence at s[i] when it is one printable character (a byte-order
// mark is not), else 0.
size_t printableUtf8(const std::string &s, size_t i) {
  const bool mark = s.compare(i, 3, "\xEF\xBB\xBF") == 0;
  return mark ? 0 : utf8Length(s, i);
}

}  // namespace

std::string dotted(uint32 a) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", a >> 24, a >> 16 & 255u, a >> 8 & 255u, a & 255u);
  return buf;
}

std::string shownByte(unsigned char c) {
  char buf[16];
  if (c > 0x20 && c < 0x7F) {
    std::snprintf(buf, sizeof buf, "'%c'", c);
  } else if (c == ' ') {
    return "a space";
  } else if (c == '\t') {
    return "a tab";
  } else {
    std::snprintf(buf, sizeof buf, "byte 0x%02X", c);
  }
  return buf;
}

std::string shownPSeed(uint32 pSeed) {
  return pSeed == 0 ? "any" : std::to_string(pSeed);
}

std::string shownMode(unsigned mode) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", mode & 07777U);
  return buf;
}

SourceLine sourceLine(const std::string &line, size_t at) {
  constexpr size_t kWhole = 120, kBefore = 60, kAfter = 60;
  const bool whole = line.size() <= kWhole;
  const size_t from = whole || at <= kBefore ? 0 : at - kBefore;
  const size_t to = whole || line.size() - at <= kAfter ? line.size() : at + kAfter;
  SourceLine out{from > 0 ? "..." : "", from > 0 ? 3u : 0u};
  for (size_t i = from; i < to;) {
    const auto b = static_cast<unsigned char>(line[i]);
    const size_t n = b >= 0x80 ? printableUtf8(line, i) : 1;
    if (i < at) ++out.caret;
    if (b == '\t') {
      out.text += ' ';
    } else if (b < 0x20 || b == 0x7F || n == 0) {
      out.text += '?';
    } else {
      out.text.append(line, i, n);
    }
    i += n == 0 ? 1 : n;
  }
  if (to < line.size()) out.text += "...";
  return out;
}

std::string shownTime(time_t t) {
  struct tm local {};
  char buf[32] = "";
  if (localtime_r(&t, &local) != nullptr) std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &local);
  return buf;
}

}  // namespace tl
