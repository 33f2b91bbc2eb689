// match: which record would recognise a user, each record's three tests, and the lines that
// could have but give no record or lie past the 32nd.
#include <arpa/inet.h>

#include <cstdio>
#include <vector>

#include "commands.h"
#include "explain.h"
#include "format.h"
#include "listfile.h"

namespace tl {
namespace {

std::string withComment(const std::string &text, const std::string &comment) {
  return comment.empty() ? text : text + "   # " + comment;
}

// The three tests of one record, a line each, and whether all pass.
bool printTests(const Tolvane &rec, const TvProbe &user) {
  const bool rs = rec.rSeed == user.rSeed;
  const bool ps = rec.pSeed == 0 || rec.pSeed == user.pSeed;
  const bool below = user.ipAdr<rec.ipMin, above = user.ipAdr> rec.ipMax;
  std::printf("  registration seed %u, the user's %u: %s\n", rec.rSeed, user.rSeed,
              rs ? "the same" : "differs");
  if (rec.pSeed == 0) {
    std::printf("  PUID seed any: admits every PUID\n");
  } else {
    std::printf("  PUID seed %u, the user's %u: %s\n", rec.pSeed, user.pSeed,
                ps ? "the same" : "differs");
  }
  std::printf("  addresses %s to %s, the user's %s: %s\n", dotted(rec.ipMin).c_str(),
              dotted(rec.ipMax).c_str(), dotted(user.ipAdr).c_str(),
              below   ? "below the range"
              : above ? "above the range"
                      : "inside");
  return rs && ps && !below && !above;
}

// Whether a record admits the user.
bool admits(const Tolvane &rec, const TvProbe &user) {
  return tvCompare(&rec, &user) == TV_MATCH;
}

}  // namespace

int matchCommand(const std::string &file, const TvProbe &user) {
  std::string data, err;
  if (!readFile(file, data, err)) {
    std::fprintf(stderr, "tolvane-list: %s\n", err.c_str());
    return kTrouble;
  }
  const Report r = checkList(file, data);
  std::printf("user: registration seed %u, PUID seed %u, address %s\n", user.rSeed, user.pSeed,
              dotted(user.ipAdr).c_str());
  const Loaded *first = nullptr;
  std::vector<int> couldHave;  // lines that would recognise the user had they loaded
  for (const Loaded &l : r.records) {
    const std::string head =
        file + ":" + std::to_string(l.line) + ": slot " + std::to_string(l.slot);
    const bool ok = admits(l.rec, user);
    std::string verdict;
    if (first != nullptr) {
      verdict = ok ? "would recognise this user too, but slot " + std::to_string(first->slot) +
                         " comes first"
                   : "does not recognise this user (and slot " + std::to_string(first->slot) +
                         " comes first)";
    } else {
      verdict = ok ? "recognises this user" : "does not recognise this user";
    }
    std::printf("%s\n", withComment(head + ": " + verdict, l.comment).c_str());
    printTests(l.rec, user);
    if (ok && first == nullptr) first = &l;
  }
  for (const Loaded &l : r.ignored) {
    std::printf("%s:%d: slot %d, past the 32nd: the plug-in never reads it%s\n", file.c_str(),
                l.line, l.slot,
                admits(l.rec, user) ? "; had it loaded, it would recognise this user" : "");
    if (admits(l.rec, user)) couldHave.push_back(l.line);
  }
  for (const Lost &l : r.lost) {
    std::string mended, hint;
    Tolvane rec;
    if (mendLine(l.text, mended)) {
      const std::string piece = mended.substr(0, TV_READ_SIZE - 1) + "\n";
      if (tvParsePiece(piece.c_str(), &rec, nullptr) && admits(rec, user)) {
        hint = "; read as '" + mended + "' it would recognise this user";
        couldHave.push_back(l.line);
      }
    }
    std::printf("%s:%d: gives no record (%s)%s\n", file.c_str(), l.line, l.message.c_str(),
                hint.c_str());
  }
  if (first != nullptr) {
    std::printf("recognised by slot %d (line %d)\n", first->slot, first->line);
    return kClean;
  }
  std::string lines;
  for (int n : couldHave) lines += (lines.empty() ? "" : ", ") + std::to_string(n);
  if (couldHave.empty()) {
    std::printf("no record recognises this user\n");
  } else {
    std::printf("no record recognises this user; line%s %s would, as said above\n",
                couldHave.size() == 1 ? "" : "s", lines.c_str());
  }
  return kFindings;
}

}  // namespace tl
