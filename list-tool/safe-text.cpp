#include "safe-text.h"

namespace tl {

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

void printLine(FILE *out, const std::string &text) {
  if (out == stderr) std::fflush(stdout);  // what came before stays before, whatever is piped
  const std::string shown = escaped(text);
  std::fwrite(shown.data(), 1, shown.size(), out);
  std::fputc('\n', out);
}

}  // namespace tl
