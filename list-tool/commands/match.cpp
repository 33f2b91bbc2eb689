// match: which record would recognise a user, each record's three tests, and the lines that
// could have but give no record or lie past the 32nd.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "change/change.h"
#include "cli.h"
#include "command.h"
#include "content/grant-end.h"
#include "content/json-out.h"
#include "content/recognition.h"
#include "content/shown.h"
#include "content/text-out.h"

namespace tl {
namespace {

struct MatchOptions {
  std::string file;
  UserOptions user;
  bool json = false;
};

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

// The lines that would recognise the user had they loaded: "12, 40".
std::string lineList(const std::vector<int> &lines) {
  std::string s;
  for (int n : lines) s += (s.empty() ? "" : ", ") + std::to_string(n);
  return s;
}

// Until when the record recognises: " until 2026-12-14T09:00Z (in 3 days), when tolvane-list
// expire takes it out", or "" for a grant without an end.
std::string untilWords(const Loaded &l, UtcSeconds now) {
  const std::optional<UtcSeconds> end = grantEnd(l.comment);
  if (!end) return "";
  if (*end <= now) {
    return "; its grant ended at " + untilText(*end) +
           ", and it recognises the user until tolvane-list expire takes it out";
  }
  return " until " + untilText(*end) + " (in " + timeLeft(*end, now) +
         "), when tolvane-list expire takes it out";
}

// The verdicts for people: the user, each record's tests, the lines that could have, the
// verdict.
void printVerdicts(const std::string &file, const Report &r, const TvProbe &user,
                   const Recognition &v, UtcSeconds now) {
  printLine(stdout, "user: registration seed " + std::to_string(user.rSeed) + ", PUID seed " +
                        std::to_string(user.pSeed) + ", address " + dotted(user.ipAdr));
  const Loaded *before = nullptr;  // the first record that recognises, among those shown
  for (size_t i = 0; i < r.records.size(); ++i) {
    const Loaded &l = r.records[i];
    const Tests &t = v.tests[i];
    std::string verdict;
    if (before != nullptr) {
      verdict = t.all() ? "would recognise this user too, but slot " +
                              std::to_string(before->slot) + " comes first"
                        : "does not recognise this user (and slot " + std::to_string(before->slot) +
                              " comes first)";
    } else {
      verdict = t.all() ? "recognises this user" : "does not recognise this user";
    }
    printLine(stdout, withComment(file + ":" + std::to_string(l.line) + ": slot " +
                                      std::to_string(l.slot) + ": " + verdict,
                                  l.comment));
    printLine(stdout, "  registration seed " + std::to_string(l.rec.rSeed) + ", the user's " +
                          std::to_string(user.rSeed) + ": " + (t.rSeed ? "the same" : "differs"));
    printLine(stdout, l.rec.pSeed == 0 ? "  PUID seed any: admits every PUID"
                                       : "  PUID seed " + std::to_string(l.rec.pSeed) +
                                             ", the user's " + std::to_string(user.pSeed) + ": " +
                                             (t.pSeed ? "the same" : "differs"));
    printLine(stdout, "  addresses " + dotted(l.rec.ipMin) + " to " + dotted(l.rec.ipMax) +
                          ", the user's " + dotted(user.ipAdr) + ": " + addressWord(t.address));
    for (const Finding *f : errorsOn(r, l.line))
      printLine(stdout, "  error: " + f->message + " [" + f->code + "]");
    if (t.all() && before == nullptr) before = &l;
  }
  for (size_t i = 0; i < r.ignored.size(); ++i) {
    const Loaded &l = r.ignored[i];
    printLine(stdout, file + ":" + std::to_string(l.line) + ": slot " + std::to_string(l.slot) +
                          ", past the 32nd: the plug-in never reads it" +
                          (v.pastAdmits[i] ? "; had it loaded, it would recognise this user" : ""));
  }
  for (const LostLine &l : v.lost) {
    printLine(
        stdout,
        file + ":" + std::to_string(l.lost->line) + ": gives no record (" + l.lost->message + ")" +
            (l.wouldRecognise ? "; read as '" + l.mended + "' it would recognise this user" : ""));
  }
  if (v.first != nullptr) {
    printLine(stdout, "recognised by slot " + std::to_string(v.first->slot) + " (line " +
                          std::to_string(v.first->line) + ")" + untilWords(*v.first, now));
  } else if (v.couldHave.empty()) {
    printLine(stdout, "no record recognises this user");
  } else {
    printLine(stdout, "no record recognises this user; line" +
                          std::string(v.couldHave.size() == 1 ? "" : "s") + " " +
                          lineList(v.couldHave) + " would, as said above");
  }
}

// The verdicts for scripts.
nlohmann::json verdictsJson(const Report &r, const TvProbe &user, const Recognition &v) {
  nlohmann::json records = nlohmann::json::array(), past = nlohmann::json::array(),
                 lost = nlohmann::json::array();
  for (size_t i = 0; i < r.records.size(); ++i) {
    const Loaded &l = r.records[i];
    const Tests &t = v.tests[i];
    nlohmann::json errors = nlohmann::json::array();
    for (const Finding *f : errorsOn(r, l.line)) errors.push_back(findingJson(*f));
    nlohmann::json one = recordJson(l);
    one["tests"] = {{"rSeed", t.rSeed}, {"pSeed", t.pSeed}, {"address", addressWord(t.address)}};
    one["admits"] = t.all();
    one["recognises"] = &l == v.first;
    one["errors"] = errors;
    records.push_back(one);
  }
  for (size_t i = 0; i < r.ignored.size(); ++i) {
    nlohmann::json one = recordJson(r.ignored[i]);
    one["admits"] = static_cast<bool>(v.pastAdmits[i]);
    past.push_back(one);
  }
  for (const LostLine &l : v.lost) {
    lost.push_back({{"line", l.lost->line},
                    {"message", l.lost->message},
                    {"mended", l.wouldRecognise ? l.mended : ""},
                    {"wouldRecognise", l.wouldRecognise}});
  }
  nlohmann::json j = {
      {"user", {{"rSeed", user.rSeed}, {"pSeed", user.pSeed}, {"address", dotted(user.ipAdr)}}},
      {"recognised", v.first != nullptr},
      {"slot", v.first != nullptr ? nlohmann::json(v.first->slot) : nullptr},
      {"line", v.first != nullptr ? nlohmann::json(v.first->line) : nullptr},

      {"records", records},
      {"pastTable", past},
      {"lost", lost},
      {"couldRecognise", v.couldHave}};
  // Until when the user is recognised, when the record that recognises them ends.
  const std::optional<UtcSeconds> end =
      v.first != nullptr ? grantEnd(v.first->comment) : std::nullopt;
  if (end) j["until"] = untilText(*end);
  return j;
}

int match(const MatchOptions &o, Voice &voice) {
  voice.about(o.file);
  TvProbe user{};
  Outcome step = o.user.probe(user);
  if (!step.ok()) return voice.end(step);
  std::string data;
  step = readList(o.file, data);
  if (!step.ok()) {
    step.message = withRootHint(step.message, geteuid() == 0);
    return voice.end(step);
  }
  const Report r = checkList(o.file, data);
  const Recognition v = recognition(r, user);
  voice.facts(verdictsJson(r, user, v), [&] { printVerdicts(o.file, r, user, v, clockNow()); });
  return voice.end(done(), v.first != nullptr ? kClean : kFindings);
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
  return {sub,
          [o](Voice &voice) -> int {
            if (o->file.empty()) o->file = listHome();
            return match(*o, voice);
          },
          &o->json};
}

}  // namespace tl
