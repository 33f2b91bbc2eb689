// check: every file read exactly as the plug-in reads it, every line that gives no record and
// why, how the list is guarded, and the records the plug-in loads.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "command-line.h"
#include "command.h"
#include "exit-status.h"
#include "guard.h"
#include "read-list.h"
#include "report.h"
#include "safe-text.h"
#include "stray-copies.h"

namespace tl {
namespace {

struct CheckOptions {
  std::vector<std::string> files;
  bool json = false;
  std::string as;
  std::string failOn = "warning";
  bool contentOnly = false;
};

Finding wholeFile(Severity s, const std::string &code, const std::string &message) {
  return {0, 0, s, code, message, "", 0};
}

// How the list at `file` is guarded, whether the server's account can read it, and the copies
// earlier changes left beside it: about the file as a whole, so before its lines' findings.
// Reads the list through the folder the walk judged.
bool readJudged(const std::string &file, const CheckOptions &o, std::string &data,
                std::vector<Finding> &about, std::string &err) {
  if (file == "-" || o.contentOnly) return readListAt(file, data, err);
  Trusted trusted;
  Account as;
  const bool hasAs = !o.as.empty() && findAccount(o.as, as);
  if (hasAs) trusted.trust(as);
  const ListPlace place = walkList(file, trusted);
  // What the walk found wrong on the way counts even when it found no list at its end.
  for (const GuardFinding &g : place.findings)
    about.push_back(wholeFile(g.error ? Severity::Error : Severity::Warning, g.code, g.message));
  if (!place.trouble.empty() || !place.exists) return readListAt(file, data, err);
  UniqueFd fd;
  struct stat st {};
  if (!openListIn(place.dir.get(), place.name, file, fd, st, err) ||
      !readOpenList(fd.get(), file, data, err))
    return false;
  std::string why;
  if (hasAs && !readableBy(place, as, why)) {
    about.insert(about.begin(),
                 wholeFile(Severity::Error, "unreadable",
                           "the account '" + as.name + "' cannot read the list: " + why +
                               ": a server running as '" + as.name + "' recognises nobody"));
  }
  for (const StrayCopy &c : strayCopies(place.dir.get(), place.folder, place.name, trusted)) {
    about.push_back(wholeFile(Severity::Warning, "stray-copy",
                              c.path + ", written " + shownTime(c.changed) +
                                  ", is a copy an earlier change left (an edit that was not "
                                  "installed, or one killed): look at it, then remove it"));
  }
  return true;
}

int check(const CheckOptions &o) {
  bool trouble = false, errors = false, warnings = false;
  bool firstJson = true;
  if (o.json) std::fputs("{\n  \"files\": [", stdout);
  for (const std::string &file : o.files) {
    std::string data, err;
    std::vector<Finding> about;
    Report r;
    if (readJudged(file, o, data, about, err)) {
      r = checkList(file, data);
      r.findings.insert(r.findings.begin(), about.begin(), about.end());
    } else {
      trouble = true;
      r.file = file;
      r.findings = about;
      r.findings.push_back(wholeFile(Severity::Error, "cannot-read", err));
    }
    for (const Finding &f : r.findings) (f.severity == Severity::Error ? errors : warnings) = true;
    if (!o.json) {
      if (!r.findings.empty() && r.findings.back().code == "cannot-read") {
        for (const Finding &f : r.findings) printFinding(stdout, file, f);
      } else {
        printText(stdout, r);
      }
      std::fflush(stdout);
      continue;
    }
    const std::string text =
        reportJson(r).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string indented = "    ";
    for (char c : text) {
      indented += c;
      if (c == '\n') indented += "    ";
    }
    std::fputs(firstJson ? "\n" : ",\n", stdout);
    std::fputs(indented.c_str(), stdout);
    std::fflush(stdout);
    firstJson = false;
  }
  if (o.json) std::fputs(firstJson ? "]\n}\n" : "\n  ]\n}\n", stdout);
  if (trouble) return kTrouble;
  if (errors || (warnings && o.failOn == "warning")) return kFindings;
  return kClean;
}

}  // namespace

Subcommand defineCheck(CLI::App &tool) {
  auto o = std::make_shared<CheckOptions>();
  CLI::App *sub =
      tool.add_subcommand("check", "Read each FILE as the plug-in does and report what it finds");
  sub->add_option("FILE", o->files, "list files (default: " + listHome() + ")");
  sub->add_flag("--json", o->json, "findings and records as JSON");
  sub->add_option("--as", o->as,
                  "also say whether this account (the server's; a name or an id) can read FILE")
      ->type_name("USER");
  sub->add_option("--fail-on", o->failOn,
                  "what makes the exit status 1: error, or warning (the default) for either")
      ->check(CLI::IsMember({"error", "warning"}))
      ->type_name("error|warning");
  sub->add_flag("--content-only", o->contentOnly,
                "judge the content alone, not how FILE is guarded nor where it lies (a "
                "validate step's new version, in a temporary place)");
  sub->footer(
      "Exit status: 0 clean, 1 findings (warnings too, unless --fail-on=error), 2 a file\n"
      "that cannot be read. As a validate step: tolvane-list check --fail-on=error %s");
  nameValues(sub);
  return {sub, [o]() -> int {
            if (o->files.empty()) o->files.push_back(listHome());
            if (!o->as.empty()) o->as = accountOption(o->as);
            return check(*o);
          }};
}

}  // namespace tl
