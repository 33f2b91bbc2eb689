#include "explain.h"

#include <cstdio>

namespace tl {
namespace {

// What is still missing when a line ends in parser state m.
const char *missing(uint8 m) {
  switch (m) {
    case 0:
      return "no '{': a record is {RSEED} {PSEED} \"ADDRESS\"";
    case 1:
      return "the registration seed's brace group is not closed with '}'";
    case 2:
      return "only one brace group: the PUID seed's group is missing ({} admits any PUID)";
    case 3:
      return "the PUID seed's brace group is not closed with '}'";
    case 4:
      return "no address: the double-quoted address pattern is missing";
    default:
      return "the address has no closing double quote";
  }
}

const char *group(uint8 m) {
  return m == 1 ? "registration seed" : "PUID seed";
}

bool blankOrEnd(const char *p, const char *end) {
  for (; p < end; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
  }
  return true;
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

Remark whyNoRecord(const char *piece, size_t len, const TvWhy &why, bool cut) {
  const size_t at = why.at;
  const auto c = static_cast<unsigned char>(at < len ? piece[at] : '\0');
  const char *end = piece + len;
  switch (why.end) {
    case TV_HASH:
      if (why.m == 5)
        return {"hash",
                "'#' before the closing double quote ends the line: the record is lost "
                "(a comment may only follow a complete record)",
                at};
      return {"hash",
              std::string("a comment starts before the record is complete: ") + missing(why.m), at};
    case TV_NUL:
      if (at < len)
        return {"nul-byte", "a NUL byte ends the line before the record is complete", at};
      if (cut)
        return {"cut",
                std::string("the record does not fit in the 62 characters read at a time: ") +
                    missing(why.m),
                at};
      return {"incomplete",
              std::string("the file ends before the record is complete: ") + missing(why.m), at};
    case TV_INVALID:
      if (c == 0xEF && at == 0 && len >= 3 && static_cast<unsigned char>(piece[1]) == 0xBB)
        return {"bom",
                "the file starts with a UTF-8 byte-order mark, which is not a valid "
                "character: this line gives no record (save the file without it)",
                at};
      if ((c == '\n' || c == '\r') && blankOrEnd(piece + at, end))
        return {"incomplete",
                std::string("the line ends before the record is complete: ") + missing(why.m), at};
      if (c == '\r')
        return {"invalid",
                "a carriage return before the closing double quote is not a valid character", at};
      if (c == 'J' || c == 'K' || c == 'L')
        return {"invalid",
                shownByte(c) +
                    " is not a valid character (the digit letters are "
                    "E F G H A B C D M N O P I, for 0 to 12)",
                at};
      if (c >= 'a' && c <= 'z')
        return {"invalid",
                shownByte(c) +
                    " is not a valid character (seeds are written in "
                    "upper-case letters)",
                at};
      return {"invalid",
              shownByte(c) +
                  " is not a valid character (valid: { } \" . * 0-9 "
                  "A-I M-P Z, space and tab)",
              at};
    case TV_NOT_LETTER:
      if (c == '"' || c == '{')
        return {"unclosed-group",
                std::string("the ") + group(why.m) +
                    "'s brace group is not closed with '}' before " + shownByte(c),
                at};
      if (c >= '0' && c <= '9')
        return {"not-letter",
                shownByte(c) + " in the " + group(why.m) +
                    ": seeds are written in letters (tolvane-list encode writes them)",
                at};
      return {"not-letter",
              shownByte(c) + " inside the " + group(why.m) +
                  "'s braces: only the letters A-I and M-P belong there",
              at};
    case TV_TENTH_LETTER:
      return {
          "tenth-letter",
          std::string("a tenth letter in the ") + group(why.m) + ": a seed has at most 9 letters",
          at};
    case TV_Z_PLACE:
      return {"z-place", "'Z' is allowed only directly after the PUID seed's '{'", at};
    case TV_Z_LETTER:
      return {"z-letter", "after \"{Z\" a letter from A to P must follow, not " + shownByte(c), at};
    case TV_FIFTH_OCTET:
      return {"fifth-octet", "a fifth octet: an address has at most four", at};
    case TV_STAR:
      return {"star", "'*' must stand alone in its octet", at};
    case TV_RECORD:
      break;
  }
  return {"record", "gives a record", at};
}

std::vector<Remark> recordRemarks(const char *piece, size_t len, const TvWhy &why,
                                  const Tolvane &rec) {
  std::vector<Remark> out;
  static const char *const kGroup[2] = {"registration seed", "PUID seed"};
  for (int g = 0; g < 2; ++g) {
    if (why.seedSum[g] > 0xFFFFFFFFull) {
      out.push_back({"seed-wraps",
                     std::string("the ") + kGroup[g] + " is " + std::to_string(why.seedSum[g]) +
                         ", over 4294967295: it counts as " +
                         std::to_string(g == 0 ? rec.rSeed : rec.pSeed),
                     0});
    }
  }
  const size_t open = why.octStart[0] - 1u;
  const std::string pattern(piece + open + 1, piece + why.at);
  const int n = why.nbrOctets;
  int firstStar = -1;
  bool starSaid = false;
  for (int i = 0; i < n; ++i) {
    const size_t from = why.octStart[i];
    const size_t to = i + 1 < n ? why.octStart[i + 1] - 1u : why.at;
    const std::string tok(piece + from, piece + to);
    if ((why.starMask >> i & 1u) != 0) {
      if (firstStar < 0) firstStar = i;
      continue;
    }
    const uint32 k = why.octNumber[i] & 255u;
    const size_t lead = tok.find_first_not_of(" \t");
    const size_t digitsEnd =
        tok.find_first_not_of("0123456789", lead == std::string::npos ? 0 : lead);
    if (tok.empty()) {
      out.push_back({"empty-octet", "an empty octet counts as 0", from});
    } else if (digitsEnd != std::string::npos || lead == std::string::npos || digitsEnd == lead) {
      out.push_back({"octet-text",
                     "octet '" + tok + "' is read as " + std::to_string(k) +
                         ": only its leading digits count",
                     from});
    } else if (why.octNumber[i] > 255) {
      out.push_back({"octet-wraps",
                     "octet '" + tok + "' is over 255: it counts as " + std::to_string(k), from});
    }
    if (firstStar >= 0 && !starSaid) {
      out.push_back({"star-then-number",
                     "'" + pattern + "' has a number after a '*' octet: the range is " +
                         dotted(rec.ipMin) + " to " + dotted(rec.ipMax) +
                         ", every address between, not only those whose octet " +
                         std::to_string(i + 1) + " is " + std::to_string(k),
                     from});
      starSaid = true;
    }
  }
  if (n < 4) {
    const bool star = n > 0 && (why.starMask >> (n - 1) & 1u) != 0;
    std::string full = pattern;
    for (int i = n; i < 4; ++i) full += star ? ".*" : ".0";
    if (star) {
      out.push_back({"short-pattern",
                     "'" + pattern + "' admits " + dotted(rec.ipMin) + " to " + dotted(rec.ipMax) +
                         " only: octets left out count 0 (for the whole range "
                         "write '" +
                         full + "')",
                     open + 1});
    } else if (rec.ipMin == rec.ipMax) {
      out.push_back(
          {"short-pattern",
           "'" + pattern + "' admits " + dotted(rec.ipMin) + " alone: octets left out count 0",
           open + 1});
    } else {
      out.push_back({"short-pattern",
                     "'" + pattern + "' admits " + dotted(rec.ipMin) + " to " + dotted(rec.ipMax) +
                         ": octets left out count 0",
                     open + 1});
    }
  }
  // Text after the closing quote: a comment, blanks, or ignored text.
  const char *p = piece + why.at + 1;
  const char *end = piece + len;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  if (p < end && *p != '#' && *p != '\r' && *p != '\n') {
    out.push_back({"trailing-text",
                   "text after the closing double quote is ignored (start a "
                   "comment with '#')",
                   static_cast<size_t>(p - piece)});
  }
  return out;
}

}  // namespace tl
