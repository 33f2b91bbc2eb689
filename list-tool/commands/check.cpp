// check: every file read exactly as the plug-in reads it, every line that gives no record and
// why, how the list is guarded, and the records the plug-in loads.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "change/change.h"
#include "cli.h"
#include "command.h"
#include "content/grants.h"
#include "content/json-out.h"
#include "content/text-out.h"

namespace tl {
namespace {

struct CheckOptions {
  std::vector<std::string> files;
  bool json = false;
  std::string as;
  std::string failOn = "warning";
  bool contentOnly = false;
};

// Each file's report, in order: as text, findings and the records table; as JSON, one member of
// "files" each. A file that cannot be read is a finding of its own report, and the run's trouble.
int check(const CheckOptions &o, Voice &voice) {
  bool errors = false, warnings = false;
  Outcome unreadable = done();
  nlohmann::json files = nlohmann::json::array();
  for (const std::string &file : o.files) {
    const JudgedList judged = judgeForCheck(file, o.as, o.contentOnly);
    Report r;
    if (judged.read.ok()) {
      r = checkList(file, judged.bytes);
      // The grants that have ended or end soon, each among its line's findings.
      const std::vector<Finding> grants = grantFindings(r, judged.bytes, clockNow());
      r.findings.insert(r.findings.end(), grants.begin(), grants.end());
      std::stable_sort(r.findings.begin(), r.findings.end(),
                       [](const Finding &a, const Finding &b) { return a.line < b.line; });
      r.findings.insert(r.findings.begin(), judged.about.begin(), judged.about.end());
    } else {
      r.file = file;
      r.findings = judged.about;
      const std::string why = withRootHint(judged.read.message, geteuid() == 0);
      r.findings.push_back({0, 0, Severity::Error, "cannot-read", why, "", 0});
      if (unreadable.ok()) unreadable = cannotRead(why);
    }
    // A note is never a fault: a list that gives no record (a fresh install's) checks clean.
    for (const Finding &f : r.findings) {
      errors = errors || f.severity == Severity::Error;
      warnings = warnings || f.severity == Severity::Warning;
    }
    if (voice.json()) {
      files.push_back(reportJson(r));
    } else if (!judged.read.ok()) {
      for (const Finding &f : r.findings) printFinding(stdout, file, f);
    } else {
      printText(stdout, r);
    }
    std::fflush(stdout);
  }
  voice.fact("files", files);
  if (!unreadable.ok()) {
    // Said already, as a finding of the file's report.
    voice.fail(unreadable, true);
    return voice.end(unreadable);
  }
  return voice.end(done(), errors || (warnings && o.failOn == "warning") ? kFindings : kClean);
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
  return {sub,
          [o](Voice &voice) -> int {
            if (o->files.empty()) o->files.push_back(listHome());
            const Outcome as = accountNamed(o->as);
            if (!as.ok()) return voice.end(as);
            return check(*o, voice);
          },
          &o->json};
}

}  // namespace tl
