// match: which record would recognise a user, each record's three tests, and the lines that
// could have but give no record or lie past the 32nd.
#include <cstdio>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "command-line.h"
#include "command.h"
#include "exit-status.h"
#include "explain.h"
#include "format.h"
#include "judge-content.h"
#include "read-list.h"
#include "report.h"
#include "safe-text.h"
#include "user-options.h"

namespace tl {
namespace {

struct MatchOptions {
  std::string file;
  UserOptions user;
  bool json = false;
};

// One record's three tests against the user.
struct Tests {
  bool rSeed, pSeed;
  int address;  // -1 below the range, 0 inside, 1 above
  bool all() const { return rSeed && pSeed && address == 0; }
};

Tests testsOf(const Tolvane &rec, const TvProbe &user) {
  return {rec.rSeed == user.rSeed, rec.pSeed == 0 || rec.pSeed == user.pSeed,
          user.ipAdr < rec.ipMin   ? -1
          : user.ipAdr > rec.ipMax ? 1
                                   : 0};
}

const char *addressWord(int a) {
  return a < 0 ? "below the range" : a > 0 ? "above the range" : "inside";
}

std::string withComment(const std::string &text, const std::string &comment) {
  return comment.empty() ? text : text + "   # " + comment;
}

// The errors of a line that still gives a record: what the plug-in does otherwise than meant.
std::vector<const Finding *> errorsOn(const Report &r, int line) {
  std::vector<const Finding *> out;
  for (const Finding &f : r.findings) {
    if (f.line == line && f.severity == Severity::Error) out.push_back(&f);
  }
  return out;
}

int match(const MatchOptions &o) {
  const TvProbe user = o.user.probe();
  std::string data, err;
  if (!readListAt(o.file, data, err)) {
    printLine(stderr, "tolvane-list: " + err);
    return kTrouble;
  }
  const Report r = checkList(o.file, data);
  nlohmann::json records = nlohmann::json::array(), past = nlohmann::json::array(),
                 lost = nlohmann::json::array();
  const Loaded *first = nullptr;
  std::vector<int> couldHave;  // lines that would recognise the user had they loaded
  std::vector<std::string> text;
  text.push_back("user: registration seed " + std::to_string(user.rSeed) + ", PUID seed " +
                 std::to_string(user.pSeed) + ", address " + dotted(user.ipAdr));
  for (const Loaded &l : r.records) {
    const Tests t = testsOf(l.rec, user);
    std::string verdict;
    if (first != nullptr) {
      verdict = t.all() ? "would recognise this user too, but slot " + std::to_string(first->slot) +
                              " comes first"
                        : "does not recognise this user (and slot " + std::to_string(first->slot) +
                              " comes first)";
    } else {
      verdict = t.all() ? "recognises this user" : "does not recognise this user";
    }
    text.push_back(withComment(
        o.file + ":" + std::to_string(l.line) + ": slot " + std::to_string(l.slot) + ": " + verdict,
        l.comment));
    text.push_back("  registration seed " + std::to_string(l.rec.rSeed) + ", the user's " +
                   std::to_string(user.rSeed) + ": " + (t.rSeed ? "the same" : "differs"));
    text.push_back(l.rec.pSeed == 0 ? "  PUID seed any: admits every PUID"
                                    : "  PUID seed " + std::to_string(l.rec.pSeed) +
                                          ", the user's " + std::to_string(user.pSeed) + ": " +
                                          (t.pSeed ? "the same" : "differs"));
    text.push_back("  addresses " + dotted(l.rec.ipMin) + " to " + dotted(l.rec.ipMax) +
                   ", the user's " + dotted(user.ipAdr) + ": " + addressWord(t.address));
    nlohmann::json notes = nlohmann::json::array();
    for (const Finding *f : errorsOn(r, l.line)) {
      text.push_back("  error: " + f->message + " [" + f->code + "]");
      notes.push_back(findingJson(*f));
    }
    nlohmann::json one = recordJson(l);
    one["tests"] = {{"rSeed", t.rSeed}, {"pSeed", t.pSeed}, {"address", addressWord(t.address)}};
    one["admits"] = t.all();
    one["recognises"] = t.all() && first == nullptr;
    one["errors"] = notes;
    records.push_back(one);
    if (t.all() && first == nullptr) first = &l;
  }
  for (const Loaded &l : r.ignored) {
    const bool admits = testsOf(l.rec, user).all();
    text.push_back(o.file + ":" + std::to_string(l.line) + ": slot " + std::to_string(l.slot) +
                   ", past the 32nd: the plug-in never reads it" +
                   (admits ? "; had it loaded, it would recognise this user" : ""));
    if (admits) couldHave.push_back(l.line);
    nlohmann::json one = recordJson(l);
    one["admits"] = admits;
    past.push_back(one);
  }
  for (const Lost &l : r.lost) {
    std::string mended, hint;
    bool would = false;
    Tolvane rec;
    if (mendLine(l.text, mended)) {
      would = recordOfLine(mended, rec) && testsOf(rec, user).all();
      if (would) {
        hint = "; read as '" + mended + "' it would recognise this user";
        couldHave.push_back(l.line);
      }
    }
    text.push_back(o.file + ":" + std::to_string(l.line) + ": gives no record (" + l.message + ")" +
                   hint);
    lost.push_back({{"line", l.line},
                    {"message", l.message},
                    {"mended", would ? mended : ""},
                    {"wouldRecognise", would}});
  }
  std::string lines;
  for (int n : couldHave) lines += (lines.empty() ? "" : ", ") + std::to_string(n);
  if (first != nullptr) {
    text.push_back("recognised by slot " + std::to_string(first->slot) + " (line " +
                   std::to_string(first->line) + ")");
  } else if (couldHave.empty()) {
    text.push_back("no record recognises this user");
  } else {
    text.push_back("no record recognises this user; line" +
                   std::string(couldHave.size() == 1 ? "" : "s") + " " + lines +
                   " would, as said above");
  }
  if (o.json) {
    printJsonDocument(
        stdout,
        {{"file", o.file},
         {"user", {{"rSeed", user.rSeed}, {"pSeed", user.pSeed}, {"address", dotted(user.ipAdr)}}},
         {"recognised", first != nullptr},
         {"slot", first != nullptr ? nlohmann::json(first->slot) : nullptr},
         {"line", first != nullptr ? nlohmann::json(first->line) : nullptr},
         {"records", records},
         {"pastTable", past},
         {"lost", lost},
         {"couldRecognise", couldHave}});
  } else {
    for (const std::string &t : text) printLine(stdout, t);
  }
  return first != nullptr ? kClean : kFindings;
}

}  // namespace

Subcommand defineMatch(CLI::App &tool) {
  auto o = std::make_shared<MatchOptions>();
  CLI::App *sub = listSubcommand(tool, "match",
                                 "Say which record recognises a user with these values", o->file);
  o->user.add(sub, true);
  sub->add_flag("--json", o->json, "the verdicts as JSON");
  sub->footer("Exit status: 0 recognised, 1 not recognised, 2 trouble.");
  nameValues(sub);
  return {sub, [o]() -> int {
            if (o->file.empty()) o->file = listHome();
            return match(*o);
          }};
}

}  // namespace tl
