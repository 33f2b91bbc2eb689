#include "format.h"

#include <cstdio>

#include "safe-text.h"

namespace tl {
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

std::string commentText(const std::string &line, size_t hash) {
  size_t b = hash + 1;
  size_t e = line.size();
  while (b < e && (line[b] == ' ' || line[b] == '\t' || line[b] == '#')) ++b;
  while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t' || line[e - 1] == '\r')) --e;
  return line.substr(b, e - b);
}

}  // namespace tl
