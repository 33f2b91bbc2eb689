#include "numbers.h"

namespace tvc {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parseNumber(const std::string &s, uint64_t max, uint64_t &out) {
  const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  const std::string digits = hex ? s.substr(2) : s;
  if (digits.empty()) return false;
  const uint64_t base = hex ? 16 : 10;
  uint64_t v = 0;
  for (char c : digits) {
    const int d = hex ? hexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return false;
    if (v > (max - static_cast<uint64_t>(d)) / base) return false;
    v = v * base + static_cast<uint64_t>(d);
  }
  out = v;
  return true;
}

bool parseAddress(const std::string &s, uint32_t &out) {
  uint32_t v = 0;
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t dot = s.find('.', pos);
    const bool last = i == 3;
    if (last != (dot == std::string::npos)) return false;
    const std::string part = s.substr(pos, last ? std::string::npos : dot - pos);
    uint64_t n = 0;
    if (part.empty() || part.size() > 3 || (part[0] == '0' && part.size() > 1) ||
        !parseNumber(part, 255, n))
      return false;
    v = v << 8 | static_cast<uint32_t>(n);
    pos = dot + 1;
  }
  out = v;
  return true;
}

}  // namespace tvc
