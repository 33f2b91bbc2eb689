#include "content/explain.h"

#include <cctype>

#include "content/encoding.h"
#include "content/shown.h"

namespace tl {
namespace {

// What is still missing when a line ends in parser state m.
const char *missing(uint8 m) {
  switch (m) {
    case TV_BEFORE_RSEED:
      return "no '{': a record is {RSEED} {PSEED} \"ADDRESS\"";
    case TV_IN_RSEED:
      return "the registration seed's brace group is not closed with '}'";
    case TV_BEFORE_PSEED:
      return "only one brace group: the PUID seed's group is missing ({} admits any PUID)";
    case TV_IN_PSEED:
      return "the PUID seed's brace group is not closed with '}'";
    case TV_BEFORE_ADDRESS:
      return "no address: the double-quoted address pattern is missing";
    default:
      return "the address has no closing double quote";
  }
}

const char *group(uint8 m) {
  return m == TV_IN_RSEED ? "registration seed" : "PUID seed";
}

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool blankOrEnd(const char *p, const char *end) {
  for (; p < end; ++p) {
    if (!blank(*p)) return false;
  }
  return true;
}

bool seedLetter(char c) {
  return (c >= 'A' && c <= 'P') || c == 'Z';
}

// The letters before the first '{', where the parser skips them; "" when there are none.
std::string lettersBeforeBrace(const char *piece, size_t len) {
  std::string letters;
  for (size_t i = 0; i < len && piece[i] != '{'; ++i) {
    if (seedLetter(piece[i])) letters += piece[i];
  }
  return letters;
}

// A typographic quotation mark (as chats and word processors write them) starting at p.
bool typographicQuote(const char *p, const char *end) {
  return end - p >= 3 && static_cast<unsigned char>(p[0]) == 0xE2 &&
         static_cast<unsigned char>(p[1]) == 0x80 &&
         (static_cast<unsigned char>(p[2]) == 0x9C || static_cast<unsigned char>(p[2]) == 0x9D ||
          static_cast<unsigned char>(p[2]) == 0x98 || static_cast<unsigned char>(p[2]) == 0x99);
}

// The address pattern as written, from after its opening quote up to `to`.
std::string patternBefore(const char *piece, size_t to) {
  size_t open = to;
  while (open > 0 && piece[open - 1] != '"') --open;
  return std::string(piece + open, piece + to);
}

// The star form of a CIDR block whose prefix is a whole number of octets, or "".
std::string cidrAsStars(const std::string &address, int prefix) {
  if (prefix % 8 != 0 || prefix < 0 || prefix > 32) return "";
  std::string out, octet;
  int i = 0;
  for (size_t k = 0; k <= address.size(); ++k) {
    if (k < address.size() && address[k] != '.') {
      octet += address[k];
      continue;
    }
    if (i > 0) out += '.';
    out += i < prefix / 8 ? octet : "*";
    octet.clear();
    ++i;
  }
  for (; i < 4; ++i) out += i < prefix / 8 ? ".0" : ".*";
  return out;
}

// Why a pattern that holds '/' is no CIDR block here, and what to write instead.
Remark cidrHint(const char *piece, size_t len, size_t at) {
  const std::string address = patternBefore(piece, at);
  size_t e = at + 1;
  while (e < len && std::isdigit(static_cast<unsigned char>(piece[e])) != 0) ++e;
  const std::string digits(piece + at + 1, piece + e);
  const int prefix = digits.empty() || digits.size() > 2 ? -1 : std::stoi(digits);
  std::string msg =
      "'/' is not understood: an address is a pattern with '*' octets, not a CIDR "
      "block";
  const std::string stars = prefix == 0 ? "" : cidrAsStars(address, prefix);
  if (prefix == 0) {
    msg +=
        " (a /0 block admits any address: name the administrator's network instead, such as "
        "10.1.*.*)";
  } else if (!stars.empty()) {
    msg += " (for " + address + "/" + digits + " write \"" + stars + "\")";
  } else if (prefix > 0 && prefix < 32) {
    const int octet = prefix / 8 + 1;
    const long lines = 1L << (8 - prefix % 8);
    msg += " (a /" + digits + " prefix is not a whole octet: it takes " + std::to_string(lines) +
           " lines, one for each value of octet " + std::to_string(octet) +
           (lines > TV_NBR_RECS ? ", more than the 32 the table holds" : "") + ")";
  }
  return {"cidr", msg, at};
}

// A line that ends (at a newline, a '#' or the end of the file) where a familiar slip leaves
// it: registration seed letters without braces, or an address without its opening quote.
bool slipBeforeEnd(const char *piece, size_t len, const TvWhy &why, Remark &out) {
  const size_t at = why.at;
  if (why.m == TV_BEFORE_PSEED) {
    const std::string letters = lettersBeforeBrace(piece, len);
    if (letters.empty()) return false;
    out = {"missing-braces",
           "'" + letters +
               "' before the first '{' is skipped: the registration seed's braces are missing "
               "(write {" +
               letters + "})",
           0};
    return true;
  }
  if (why.m == TV_BEFORE_ADDRESS) {
    // An address written without its quotes.
    size_t from = at;
    while (from > 0 && piece[from - 1] != '}') --from;
    while (from < at && blank(piece[from])) ++from;
    size_t to = at;
    while (to > from && blank(piece[to - 1])) --to;
    const std::string text(piece + from, piece + to);
    if (text.empty() || text.find_first_not_of("0123456789.*") != std::string::npos) return false;
    out = {"unquoted-address",
           "the address has no double quotes: '" + text + "' is skipped (write \"" + text + "\")",
           from};
    return true;
  }
  if (why.m != TV_IN_ADDRESS) return false;
  // The address so far is blank: the quote that opened it may be the closing one.
  size_t quote = at;
  while (quote > 0 && piece[quote - 1] != '"') --quote;
  if (quote == 0 || !blankOrEnd(piece + quote, piece + at)) return false;
  --quote;
  size_t from = quote;
  while (from > 0 && piece[from - 1] != '}') --from;
  while (from < quote && blank(piece[from])) ++from;
  const std::string skipped(piece + from, piece + quote);
  if (skipped.empty()) return false;
  out = {"open-quote",
         "the address has no opening double quote: '" + skipped +
             "' is skipped, and the quote after it opens an empty address (write \"" + skipped +
             "\")",
         from};
  return true;
}

// Why a character that is not valid ended the piece, with a hint where the slip is familiar.
Remark invalidCharacter(const char *piece, size_t len, const TvWhy &why) {
  const size_t at = why.at;
  const auto c = static_cast<unsigned char>(at < len ? piece[at] : '\0');
  const char *end = piece + len;
  if (c == 0xEF && at == 0 && len >= 3 && static_cast<unsigned char>(piece[1]) == 0xBB)
    return {"bom",
            "the file starts with a UTF-8 byte-order mark, which is not a valid character: "
            "this line gives no record (save the file without it)",
            at};
  if (typographicQuote(piece + at, end))
    return {"typographic-quote",
            "a typographic quotation mark (as chats and word processors write them) is not a "
            "double quote: type a plain '\"'",
            at};
  if ((c == '\n' || c == '\r') && blankOrEnd(piece + at, end))
    return {"incomplete",
            std::string("the line ends before the record is complete: ") + missing(why.m), at};
  if (c == '\r')
    return {"invalid", "a carriage return before the closing double quote is not a valid character",
            at};
  if (why.m == TV_IN_ADDRESS && c == '/') return cidrHint(piece, len, at);
  if (why.m == TV_IN_ADDRESS && c == '-')
    return {"range",
            "'-' is not understood: a range is written with '*' octets, one line a range "
            "(10.1.2.* for 10.1.2.0 to 10.1.2.255)",
            at};
  if (c == 'J' || c == 'K' || c == 'L')
    return {"invalid",
            shownByte(c) +
                " is not a valid character (the digit letters are E F G H A B C D M N O P I, "
                "for 0 to 12)",
            at};
  if (why.m == TV_IN_ADDRESS && std::isalpha(c) != 0) {
    return {"not-address",
            shownByte(c) +
                " is not a valid character: an address is written as dotted numbers, with '*' "
                "for any value of an octet (10.1.2.3, 10.1.*.*), never as a name",
            at};
  }
  if (c >= 'a' && c <= 'z' && (why.m == TV_IN_RSEED || why.m == TV_IN_PSEED)) {
    size_t from = at, to = at;
    while (from > 0 && piece[from - 1] != '{') --from;
    while (to < len && piece[to] != '}' && !blank(piece[to])) ++to;
    std::string upper(piece + from, piece + to);
    for (char &u : upper) u = static_cast<char>(std::toupper(static_cast<unsigned char>(u)));
    return {"lower-case",
            shownByte(c) +
                " is not a valid character: seeds are written in upper-case letters "
                "(write {" +
                upper + "})",
            at};
  }
  if (c >= 'a' && c <= 'z')
    return {"invalid",
            shownByte(c) +
                " is not a valid character (seeds are written in "
                "upper-case letters)",
            at};
  return {"invalid",
          shownByte(c) +
              " is not a valid character (valid: { } \" . * 0-9 A-I M-P Z, space "
              "and tab)",
          at};
}

// The record as the plug-in reads it, written plainly: each seed in its shortest letters, the
// address pattern as it stands between the quotes.
std::string plainRecord(const Tolvane &rec, const std::string &pattern) {
  return seedGroup(rec.rSeed, false) + " " + seedGroup(rec.pSeed, true) + " \"" + pattern + "\"";
}

// The pattern as the plug-in reads it, written plainly: each number octet as it counts, each
// '*' as it is, and the octets it leaves out as they count (0), or as '*' after a '*'.
std::string plainPattern(const TvWhy &why) {
  std::string out;
  bool star = false;
  for (int i = 0; i < 4; ++i) {
    std::string octet;
    if (i < why.nbrOctets) {
      star = (why.starMask >> i & 1u) != 0;
      octet = star ? "*" : std::to_string(why.octNumber[i] & 255u);
    } else {
      octet = star ? "*" : "0";
    }
    out += (i == 0 ? "" : ".") + octet;
  }
  return out;
}

// The pattern with octet `from` and every one after it a '*', four octets in all; the octets
// before it, numbers, as they count.
std::string starsFrom(const TvWhy &why, int from) {
  std::string out;
  for (int i = 0; i < 4; ++i)
    out += (i == 0 ? "" : ".") +
           (i >= from ? std::string("*") : std::to_string(why.octNumber[i] & 255u));
  return out;
}

// Seeds that wrap, that come from empty braces, that are read from elsewhere than written, or
// whose letters add up to a PUID seed of 0, which admits any PUID.
void seedRemarks(const char *piece, size_t len, const TvWhy &why, const Tolvane &rec,
                 std::vector<Remark> &out) {
  static const char *const kGroup[2] = {"registration seed", "PUID seed"};
  for (int g = 0; g < 2; ++g) {
    if (why.seedSum[g] > 0xFFFFFFFFull) {
      const uint32 counted = g == 0 ? rec.rSeed : rec.pSeed;
      out.push_back({"seed-wraps",
                     std::string("the ") + kGroup[g] + " is " + std::to_string(why.seedSum[g]) +
                         ", over 4294967295: it counts as " + std::to_string(counted) + " (write " +
                         seedGroup(counted, g == 1) + ")",
                     0, true});
    }
  }
  const std::string second(piece + why.open[1], piece + why.close[1] + 1);
  const char afterZ = second.size() > 3 && second[1] == 'Z' ? second[2] : '\0';
  if (why.letters[1] > 0 && rec.pSeed == 0 && why.seedSum[1] <= 0xFFFFFFFFull) {
    out.push_back({"zero-pseed",
                   "the PUID seed " + second + " is 0, which admits any PUID (write {})",
                   why.open[1], true});
  } else if (afterZ == 'J' || afterZ == 'K' || afterZ == 'L') {
    out.push_back({"jkl-digit",
                   std::string("'") + afterZ +
                       "' after \"{Z\" counts as the digit 0, though it is "
                       "no digit letter (write " +
                       seedGroup(rec.pSeed, true) + ")",
                   why.open[1] + 2u, true});
  }
  const std::string letters = lettersBeforeBrace(piece, len);
  size_t brace = 0;
  while (brace < len && piece[brace] != '{') ++brace;
  if (!letters.empty()) {
    out.push_back({"skipped-letters",
                   "'" + letters +
                       "' before the first '{' is skipped: the registration seed is read from "
                       "the braces after it (write {" +
                       letters + "} and one more brace group)",
                   0, true});
  } else if (why.letters[0] == 0) {
    out.push_back({"empty-rseed",
                   "the registration seed's braces are empty: the seed is 0, not any "
                   "registration (only empty PUID braces admit any PUID; write {E} for the seed "
                   "0)",
                   brace, true});
  }
}

// The non-blank text in piece[from, to), or "".
std::string textIn(const char *piece, size_t from, size_t to) {
  while (from < to && blank(piece[from])) ++from;
  while (to > from && blank(piece[to - 1])) --to;
  return std::string(piece + from, piece + to);
}

// Text the plug-in skips before the first brace group, between the two groups and between the
// second group and the address: a third brace group, or letters, that the operator meant to
// count.
void skippedRemarks(const char *piece, const TvWhy &why, const Tolvane &rec,
                    const std::string &pattern, std::vector<Remark> &out) {
  const std::string plain = plainRecord(rec, pattern);
  const std::string lead = textIn(piece, 0, why.open[0]);
  if (!lead.empty() && lettersBeforeBrace(piece, why.open[0]).empty()) {
    size_t at = 0;
    while (blank(piece[at])) ++at;
    out.push_back({"skipped-text",
                   "'" + lead +
                       "' before the first '{' is skipped: the plug-in reads the registration "
                       "seed from the braces after it (write " +
                       plain + ")",
                   at, true});
  }
  const std::string between = textIn(piece, why.close[0] + 1u, why.open[1]);
  if (!between.empty()) {
    size_t at = why.close[0] + 1u;
    while (blank(piece[at])) ++at;
    out.push_back({"skipped-text",
                   "'" + between +
                       "' between the brace groups is skipped: the plug-in reads the PUID seed "
                       "from the braces after it (write " +
                       plain + ")",
                   at, true});
  }
  const std::string before = textIn(piece, why.close[1] + 1u, why.quote);
  if (before.empty()) return;
  size_t at = why.close[1] + 1u;
  while (blank(piece[at])) ++at;
  const std::string first(piece + why.open[0], piece + why.close[0] + 1);
  const size_t open = before.find('{');
  if (open == std::string::npos) {
    out.push_back({"skipped-text",
                   "'" + before +
                       "' before the address is skipped: the plug-in reads only the two brace "
                       "groups and the quoted address (write " +
                       plain + ")",
                   at, true});
    return;
  }
  const size_t close = before.find('}', open);
  const std::string group =
      before.substr(open, close == std::string::npos ? std::string::npos : close - open + 1);
  const std::string admits =
      rec.pSeed == 0
          ? "this record admits any PUID (to tie it to that PUID write " + first + " " + group + ")"
          : "its PUID seed is " + std::to_string(rec.pSeed) +
                ", from the second group (remove the third, or write " + first + " " + group +
                " to use it instead)";
  out.push_back({"extra-group",
                 "the third brace group " + group +
                     " is ignored (the plug-in reads two, the registration seed and the PUID "
                     "seed): " +
                     admits,
                 at + open, true});
}

// Octets read otherwise than written, and a number after a '*' octet.
void octetRemarks(const char *piece, const TvWhy &why, const Tolvane &rec,
                  const std::string &pattern, std::vector<Remark> &out) {
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
    const std::string counted = std::to_string(k);
    const size_t lead = tok.find_first_not_of(" \t");
    const size_t digitsEnd =
        tok.find_first_not_of("0123456789", lead == std::string::npos ? 0 : lead);
    // Blanks after the digits say nothing: "3 " is plainly 3.
    const bool textAfter = digitsEnd != std::string::npos &&
                           tok.find_first_not_of(" \t", digitsEnd) != std::string::npos;
    const std::string plain = " (write '" + plainPattern(why) + "')";
    if (tok.empty()) {
      out.push_back({"empty-octet", "an empty octet counts as 0" + plain, from, true});
    } else if (textAfter || lead == std::string::npos || digitsEnd == lead) {
      out.push_back(
          {"octet-text",
           "octet '" + tok + "' is read as " + counted + ": only its leading digits count" + plain,
           from, true});
    } else if (why.octNumber[i] > 255) {
      out.push_back({"octet-wraps",
                     "octet '" + tok + "' is over 255: it counts as " + counted + plain, from,
                     true});
    }
    if (firstStar >= 0 && !starSaid) {
      out.push_back({"star-then-number",
                     "'" + pattern + "' has a number after a '*' octet: the range is " +
                         dotted(rec.ipMin) + " to " + dotted(rec.ipMax) +
                         ", every address between, not only those whose octet " +
                         std::to_string(i + 1) + " is " + counted +
                         " ('*' octets come last: write '" + starsFrom(why, firstStar) + "')",
                     from, true});
      starSaid = true;
    }
  }
}

// A pattern that leaves octets out, or that admits any address.
void patternRemarks(const TvWhy &why, const Tolvane &rec, const std::string &pattern,
                    std::vector<Remark> &out) {
  const int n = why.nbrOctets;
  const size_t start = why.octStart[0];
  if (n < 4) {
    const bool star = (why.starMask >> (n - 1) & 1u) != 0;
    const std::string range = dotted(rec.ipMin) + " to " + dotted(rec.ipMax);
    const std::string plain = plainPattern(why);
    if (star) {
      out.push_back({"short-pattern",
                     "'" + pattern + "' admits " + range +
                         " only: octets left out count 0 (for the whole range write '" + plain +
                         "')",
                     start, true});
    } else if (rec.ipMin == rec.ipMax) {
      out.push_back({"short-pattern",
                     "'" + pattern + "' admits " + dotted(rec.ipMin) +
                         " alone: octets left out count 0 (write '" + plain + "')",
                     start, true});
    } else {
      out.push_back({"short-pattern",
                     "'" + pattern + "' admits " + range + ": octets left out count 0 (write '" +
                         plain + "')",
                     start, true});
    }
    return;
  }
  if ((why.starMask & 1u) == 0) return;
  const std::string range = dotted(rec.ipMin) + " to " + dotted(rec.ipMax);
  out.push_back(
      {"any-address",
       "'" + pattern + "' admits " + range +
           (rec.ipMax == 0xFFFFFFFFu && rec.ipMin == 0 ? ", any address" : ", nearly any address") +
           ": whoever has this registration seed is recognised from anywhere (name "
           "the administrator's network)",
       start});
}

// Text after the closing quote that is neither a comment nor blank.
void trailingRemarks(const char *piece, size_t len, const TvWhy &why, std::vector<Remark> &out) {
  const char *p = piece + why.at + 1;
  const char *end = piece + len;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  if (p < end && *p != '#' && *p != '\r' && *p != '\n') {
    out.push_back({"trailing-text",
                   "text after the closing double quote is ignored (write '# ' before it, to "
                   "make it a comment)",
                   static_cast<size_t>(p - piece), true});
  }
}

}  // namespace

Remark whyNoRecord(const char *piece, size_t len, const TvWhy &why, bool cut) {
  const size_t at = why.at;
  const auto c = static_cast<unsigned char>(at < len ? piece[at] : '\0');
  const bool atEnd =
      why.end == TV_HASH || (why.end == TV_NUL && at >= len && !cut) ||
      (why.end == TV_INVALID && (c == '\n' || c == '\r') && blankOrEnd(piece + at, piece + len));
  Remark slip;
  if (atEnd && slipBeforeEnd(piece, len, why, slip)) return slip;
  switch (why.end) {
    case TV_HASH:
      if (why.m == TV_IN_ADDRESS)
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
                std::string("the record does not fit in the 62 bytes read at a time: ") +
                    missing(why.m),
                at};
      return {"incomplete",
              std::string("the file ends before the record is complete: ") + missing(why.m), at};
    case TV_INVALID:
      return invalidCharacter(piece, len, why);
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
  const std::string pattern(piece + why.octStart[0], piece + why.at);
  seedRemarks(piece, len, why, rec, out);
  skippedRemarks(piece, why, rec, pattern, out);
  octetRemarks(piece, why, rec, pattern, out);
  patternRemarks(why, rec, pattern, out);
  trailingRemarks(piece, len, why, out);
  return out;
}

bool mendLine(const std::string &line, std::string &mended) {
  std::string s = line;
  if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
  for (size_t i = 0; i + 2 < s.size(); ++i) {
    if (typographicQuote(s.data() + i, s.data() + s.size())) s.replace(i, 3, "\"");
  }
  // Lower-case letters inside brace groups.
  bool inGroup = false;
  for (char &c : s) {
    if (c == '#' || c == '"') break;
    if (c == '{' || c == '}') inGroup = c == '{';
    if (inGroup && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  // Registration seed letters without braces before the first '{'.
  const size_t brace = s.find('{');
  if (brace != std::string::npos && brace > 0) {
    size_t b = 0;
    while (b < brace && blank(s[b])) ++b;
    size_t e = b;
    while (e < brace && seedLetter(s[e])) ++e;
    if (e > b && blankOrEnd(s.data() + e, s.data() + brace))
      s = s.substr(0, b) + "{" + s.substr(b, e - b) + "}" + s.substr(e);
  }
  // An address without its opening quote, or a CIDR block of whole octets.
  const size_t q = s.find('"');
  if (q != std::string::npos) {
    const size_t close = s.find('"', q + 1);
    size_t a = q;
    while (a > 0 && (std::isdigit(static_cast<unsigned char>(s[a - 1])) != 0 || s[a - 1] == '.' ||
                     s[a - 1] == '*'))
      --a;
    if (close == std::string::npos && a < q) {
      s.insert(a, "\"");
    } else if (close != std::string::npos) {
      const std::string inside = s.substr(q + 1, close - q - 1);
      const size_t slash = inside.find('/');
      if (slash != std::string::npos && slash + 1 < inside.size() && inside.size() - slash <= 3 &&
          inside.find_first_not_of("0123456789", slash + 1) == std::string::npos) {
        const int prefix = std::stoi(inside.substr(slash + 1));
        const std::string stars = prefix == 0 ? "" : cidrAsStars(inside.substr(0, slash), prefix);
        if (!stars.empty()) s.replace(q + 1, inside.size(), stars);
      }
    }
  }
  if (s == line) return false;
  mended = s;
  return true;
}

}  // namespace tl
