#include "seeds.h"

#include <vector>

#include "explain.h"
#include "format.h"
#include "judge-content.h"

namespace tl {
namespace {

// A pattern's range as meant: up to four octets, each a number 0 to 255 or '*'.
bool intendedRange(const std::string &pattern, uint32 &lo, uint32 &hi, std::string &why) {
  lo = hi = 0;
  std::vector<std::string> octets(1);
  for (char c : pattern) {
    if (c == '.') {
      octets.emplace_back();
    } else {
      octets.back() += c;
    }
  }
  if (octets.size() != 4) {
    why = "'" + pattern + "' has " + std::to_string(octets.size()) +
          " octet(s): write all four, with '*' for any value (10.1.*.*)";
    return false;
  }
  bool star = false;
  for (const std::string &o : octets) {
    lo <<= 8;
    hi <<= 8;
    if (o == "*") {
      star = true;
      hi |= 255u;
      continue;
    }
    if (o.empty() || o.size() > 3 || o.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(o) > 255) {
      why = "octet '" + o + "' of '" + pattern + "' is not a number from 0 to 255 or '*'";
      return false;
    }
    if (star) {
      why = "'" + pattern +
            "' has a number after a '*' octet: the plug-in reads a range from "
            "its lowest to its highest address, which admits every address between";
      return false;
    }
    const auto n = static_cast<uint32>(std::stoi(o));
    lo |= n;
    hi |= n;
  }
  return true;
}

}  // namespace

std::string seedLetters(uint32 value) {
  static const char kDigits[] = "EFGHABCDMNOPI";  // 0 to 12
  std::string s;
  for (; value != 0; value /= 13) s += kDigits[value % 13];
  return s;
}

bool decodeSeed(const std::string &letters, bool puid, uint32 &value, uint64_t &unwrapped,
                std::string &why) {
  for (char c : letters) {
    if (c >= 'a' && c <= 'z') {
      std::string upper = letters;
      for (char &u : upper) u = u >= 'a' && u <= 'z' ? static_cast<char>(u - 'a' + 'A') : u;
      why = shownByte(static_cast<unsigned char>(c)) +
            " is a lower-case letter: seeds are written in upper-case letters (" + upper + ")";
      return false;
    }
    if (c < 'A' || c > 'Z') {
      why = shownByte(static_cast<unsigned char>(c)) + " is not a letter";
      return false;
    }
  }
  const std::string prefix = puid ? "{}{" : "{";
  const std::string piece = prefix + letters + (puid ? "}\"\"" : "}{}\"\"");
  Tolvane rec;
  TvWhy w;
  if (!tvParsePiece(piece.c_str(), &rec, &w)) {
    why = whyNoRecord(piece.c_str(), piece.size(), w, false).message;
    return false;
  }
  value = puid ? rec.pSeed : rec.rSeed;
  unwrapped = w.seedSum[puid ? 1 : 0];
  return true;
}

bool encodeLine(uint32 rSeed, uint32 pSeed, const std::string &pattern, const std::string &note,
                std::string &line, std::string &why) {
  uint32 lo = 0, hi = 0;
  if (pattern.find_first_of("\"#\r\n") != std::string::npos) {
    why = "the address pattern may not hold '\"', '#' or a line break";
    return false;
  }
  if (note.find_first_of("\r\n") != std::string::npos) {
    why = "the note may not hold a line break";
    return false;
  }
  if (!pattern.empty() && pattern[0] == '*') {
    why = "'" + pattern +
          "' admits any address: whoever has this registration seed would be recognised from "
          "anywhere; give the administrator's network (10.1.*.*)";
    return false;
  }
  line = "{" + seedLetters(rSeed) + "} {" + seedLetters(pSeed) + "} \"" + pattern + "\"";
  if (!note.empty()) line += "   # " + note;
  // Read back exactly as the plug-in reads the line.
  const std::string piece = line.substr(0, TV_READ_SIZE - 1) + "\n";
  Tolvane rec;
  TvWhy w;
  if (!tvParsePiece(piece.c_str(), &rec, &w)) {
    why = "'" + pattern + "': " + whyNoRecord(piece.c_str(), piece.size(), w, false).message;
    return false;
  }
  const std::vector<Remark> remarks = recordRemarks(piece.c_str(), piece.size(), w, rec);
  if (!remarks.empty()) {
    why = remarks.front().message;
    return false;
  }
  if (!intendedRange(pattern, lo, hi, why)) return false;
  if (rec.rSeed != rSeed || rec.pSeed != pSeed || rec.ipMin != lo || rec.ipMax != hi) {
    why = "the line does not read back to the values given";  // a fault of this tool
    return false;
  }
  // And as check reads it: nothing in a long note may be read as a record of its own.
  for (const Finding &f : checkList("line", line + "\n").findings) {
    why = f.message;
    return false;
  }
  return true;
}

}  // namespace tl
