// check: every file read exactly as the plug-in reads it, every line that gives no record and
// why, how the list is guarded, and the records the plug-in loads.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "change.h"
#include "cli.h"
#include "command.h"
#include "content/json-out.h"
#include "content/shown.h"
#include "content/text-out.h"
#include "files/file-system.h"
#include "files/guard.h"
#include "files/list-file.h"
#include "files/previous-version.h"

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

// Reads the list at `file` through the folder the walk judged, with what is found about the
// file as a whole in `about`: how it is guarded, whether the server's account can read it, what
// earlier changes left beside it and in delegates' private folders, whether its previous
// version can be trusted as one, and whether the file system it lies on can stall a reload.
Outcome readJudged(const std::string &file, const CheckOptions &o, const Trusted &trusted,
                   std::string &data, std::vector<Finding> &about) {
  if (file == "-" || o.contentOnly) return readListAt(file, data);
  ListPlace place;
  Outcome walked = walkList(file, trusted, place);
  // What the walk found wrong on the way counts even when it found no list at its end.
  for (const GuardFinding &g : place.findings)
    about.push_back(wholeFile(g.error ? Severity::Error : Severity::Warning, g.code, g.message));
  if (!walked.ok() || !place.exists) return readListAt(file, data);
  OpenList list;
  Outcome read = readListIn(place, place.name, file, list);
  if (!read.ok()) return read;
  data = list.bytes;
  if (trusted.hasAs) {
    Outcome readable = readableBy(place, trusted.server);
    if (!readable.ok()) {
      const std::string &who = trusted.server.name;
      about.insert(about.begin(),
                   wholeFile(Severity::Error, "unreadable",
                             "the account '" + who + "' cannot read the list: " + readable.message +
                                 ": a server running as '" + who + "' recognises nobody"));
    }
  }
  for (const Finding &f : journalFindings(place, trusted, data, checkList(file, data)))
    about.push_back(f);
  Outcome previous = judgePreviousVersion(place, trusted);
  if (previous.kind == Outcome::Refused)
    about.push_back(wholeFile(Severity::Warning, previous.code, previous.message));
  const std::string stalling = stallingFileSystemOf(place.dir.get());
  if (!stalling.empty()) {
    about.push_back(wholeFile(
        Severity::Warning, "may-stall",
        "the list lies on " + stalling + " (" + place.folder +
            "): when whatever serves it stops answering, opening the list waits for it, and the "
            "plug-in's reload stalls the chat server for as long as that lasts (keep the list on "
            "a local file system)"));
  }
  return done();
}

int check(const CheckOptions &o, const Trusted &trusted) {
  bool trouble = false, errors = false, warnings = false;
  nlohmann::json files = nlohmann::json::array();
  for (const std::string &file : o.files) {
    std::string data;
    std::vector<Finding> about;
    Report r;
    Outcome read = readJudged(file, o, trusted, data, about);
    if (read.ok()) {
      r = checkList(file, data);
      r.findings.insert(r.findings.begin(), about.begin(), about.end());
    } else {
      trouble = true;
      r.file = file;
      r.findings = about;
      r.findings.push_back(
          wholeFile(Severity::Error, "cannot-read", withRootHint(read.message, geteuid() == 0)));
    }
    // A note is never a fault: a list that gives no record (a fresh install's) checks clean.
    for (const Finding &f : r.findings) {
      errors = errors || f.severity == Severity::Error;
      warnings = warnings || f.severity == Severity::Warning;
    }
    if (o.json) {
      files.push_back(reportJson(r));
      continue;
    }
    if (!read.ok()) {
      for (const Finding &f : r.findings) printFinding(stdout, file, f);
    } else {
      printText(stdout, r);
    }
    std::fflush(stdout);
  }
  if (o.json) printJson(stdout, {{"files", files}});
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
            Trusted trusted;
            Outcome as = trustedWith(o->as, trusted);
            if (!as.ok()) return usageError(as.message, o->json);
            return check(*o, trusted);
          }};
}

}  // namespace tl
