#include "content/encoding.h"

#include <vector>

#include "content/explain.h"
#include "content/report.h"
#include "content/shown.h"

namespace tl {
namespace {

// A pattern's range as meant: up to four octets, each a number 0 to 255 or '*'.
Outcome intendedRange(const std::string &pattern, uint32 &lo, uint32 &hi) {
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
    return refused("values", "'" + pattern + "' has " + std::to_string(octets.size()) +
                                 " octet(s): write all four, with '*' for any value (10.1.*.*)");
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
      return refused("values",
                     "octet '" + o + "' of '" + pattern + "' is not a number from 0 to 255 or '*'");
    }
    if (star) {
      return refused("values",
                     "'" + pattern +
                         "' has a number after a '*' octet: the plug-in reads a range from "
                         "its lowest to its highest address, which admits every address between");
    }
    const auto n = static_cast<uint32>(std::stoi(o));
    lo |= n;
    hi |= n;
  }
  return done();
}

}  // namespace

std::string seedLetters(uint32 value) {
  static const char kDigits[] = "EFGHABCDMNOPI";  // 0 to 12
  std::string s;
  for (; value != 0; value /= 13) s += kDigits[value % 13];
  return s;
}

std::string seedGroup(uint32 value, bool puid) {
  return "{" + (value == 0 && !puid ? std::string("E") : seedLetters(value)) + "}";
}

Outcome decodeSeed(const std::string &letters, bool puid, uint32 &value, uint64_t &unwrapped) {
  for (char c : letters) {
    if (c >= 'a' && c <= 'z') {
      std::string upper = letters;
      for (char &u : upper) u = u >= 'a' && u <= 'z' ? static_cast<char>(u - 'a' + 'A') : u;
      return refused("values",
                     shownByte(static_cast<unsigned char>(c)) +
                         " is a lower-case letter: seeds are written in upper-case letters (" +
                         upper + ")");
    }
    if (c < 'A' || c > 'Z') {
      return refused("values", shownByte(static_cast<unsigned char>(c)) + " is not a letter");
    }
  }
  const std::string prefix = puid ? "{}{" : "{";
  const std::string piece = prefix + letters + (puid ? "}\"\"" : "}{}\"\"");
  Tolvane rec;
  TvWhy w;
  if (!tvParsePiece(piece.c_str(), &rec, &w)) {
    return refused("values", whyNoRecord(piece.c_str(), piece.size(), w, false).message);
  }
  value = puid ? rec.pSeed : rec.rSeed;
  unwrapped = w.seedSum[puid ? 1 : 0];
  return done();
}

Outcome encodeLine(uint32 rSeed, uint32 pSeed, const std::string &pattern, const std::string &note,
                   std::string &line) {
  uint32 lo = 0, hi = 0;
  if (pattern.find_first_of("\"#\r\n") != std::string::npos) {
    return refused("values", "the address pattern may not hold '\"', '#' or a line break");
  }
  if (note.find_first_of("\r\n") != std::string::npos) {
    return refused("values", "the note may not hold a line break");
  }
  if (!pattern.empty() && pattern[0] == '*') {
    return refused(
        "values",
        "'" + pattern +
            "' admits any address: whoever has this registration seed would be recognised from "
            "anywhere; give the administrator's network (10.1.*.*)");
  }
  line = seedGroup(rSeed, false) + " " + seedGroup(pSeed, true) + " \"" + pattern + "\"";
  if (!note.empty()) line += "   # " + note;
  // Read back exactly as the plug-in reads the line.
  const std::string piece = line.substr(0, TV_READ_SIZE - 1) + "\n";
  Tolvane rec;
  TvWhy w;
  if (!tvParsePiece(piece.c_str(), &rec, &w)) {
    return refused("values", "'" + pattern + "': " +
                                 whyNoRecord(piece.c_str(), piece.size(), w, false).message);
  }
  const std::vector<Remark> remarks = recordRemarks(piece.c_str(), piece.size(), w, rec);
  if (!remarks.empty()) {
    return refused("values", remarks.front().message);
  }
  Outcome meant = intendedRange(pattern, lo, hi);
  if (!meant.ok()) return meant;
  if (rec.rSeed != rSeed || rec.pSeed != pSeed || rec.ipMin != lo || rec.ipMax != hi) {
    return trouble("the line does not read back to the values given");  // a fault of this tool
  }
  // And as check reads it: nothing in a long note may be read as a record of its own.
  const Report asChecked = checkList("line", line + "\n");
  if (!asChecked.findings.empty()) return refused("values", asChecked.findings.front().message);
  return done();
}

}  // namespace tl
