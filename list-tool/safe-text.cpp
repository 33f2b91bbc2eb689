#include "safe-text.h"

namespace tl {
namespace {

// The length of the UTF-8 sequence at s[i] when it is well formed and not a C1 control;
// 0 otherwise.
size_t utf8Length(const std::string &s, size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  unsigned cp = b & (0x7Fu >> n);
  for (size_t k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (c & 0x3Fu);
  }
  const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
  const bool bad = cp < 0xA0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF;
  return overlong || bad ? 0 : n;
}

}  // namespace

std::string escaped(const std::string &text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0x80) {
      const size_t n = utf8Length(text, i);
      if (n > 0) {
        out.append(text, i, n);
        i += n;
        continue;
      }
    } else if ((b >= 0x20 && b != 0x7F) || b == '\n' || b == '\t') {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 15u];
    ++i;
  }
  return out;
}

void printLine(FILE *out, const std::string &text) {
  if (out == stderr) std::fflush(stdout);  // what came before stays before, whatever is piped
  const std::string shown = escaped(text);
  std::fwrite(shown.data(), 1, shown.size(), out);
  std::fputc('\n', out);
}

}  // namespace tl
