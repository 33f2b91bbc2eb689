// What the subcommands that only read ask of the files: a list read as the plug-in reads it, a
// list judged as check judges it, a name that is no previous version, a list's journal; and the
// accounts of --as, as every subcommand takes them.
#include <cstdlib>

#include "change/change.h"
#include "change/judgement.h"
#include "change/run.h"
#include "files/accounts.h"
#include "files/guard.h"
#include "files/list-file.h"
#include "files/paths.h"
#include "files/previous-version.h"

namespace tl {

Outcome trustedWith(const std::string &as, Trusted &out) {
  out = Trusted{};
  if (as.empty()) return done();
  Account a;
  if (!findAccount(as, a)) return usage("--as: no account '" + as + "'");
  out.trust(a);
  return done();
}

Outcome accountNamed(const std::string &as) {
  Trusted trusted;
  return trustedWith(as, trusted);
}

Outcome settleChange(ChangeOptions &o) {
  if (o.file.empty()) o.file = TOLVANE_LIST_HOME;
  o.wait = -1;
  if (!o.waitGiven.empty() && o.waitGiven != "true") {
    char *end = nullptr;
    const double s = std::strtod(o.waitGiven.c_str(), &end);
    if (o.waitGiven.find_first_not_of("0123456789.") != std::string::npos ||
        end == o.waitGiven.c_str() || *end != '\0' || s < 0) {
      return usage(
          "--wait=SECONDS takes a number of seconds (--wait=30; a bare --wait waits as long as "
          "it takes), got '" +
          o.waitGiven + "': a list's name goes apart from it (--wait " + o.waitGiven + ")");
    }
    o.wait = s;
  } else if (o.waitGiven == "true") {
    o.wait = 0;
  }
  return accountNamed(o.as);
}

Outcome readList(const std::string &path, std::string &bytes) {
  return readListAt(path, bytes);
}

std::vector<Finding> notAPreviousVersion(const std::string &path) {
  const std::string name = nameOf(path);
  if (name.size() < 2 || name.back() != '-') return {};
  const Trusted nobodyElse{};
  NotKept why;
  const Outcome judged =
      notKeptSaid(judgePreviousVersionAt(path, nobodyElse, why), why, nobodyElse);
  if (judged.kind != Outcome::Refused) return {};
  return {{0, 0, Severity::Warning, judged.code, judged.message, "", 0}};
}

JudgedList judgeForCheck(const std::string &file, const std::string &as, bool contentOnly) {
  JudgedList out;
  if (file == "-" || contentOnly) {
    out.read = readListAt(file, out.bytes);
    return out;
  }
  Trusted trusted;
  trustedWith(as, trusted);
  ListPlace place;
  Outcome walked = walkList(file, trusted, place);
  // What the walk found wrong on the way counts even when it found no list at its end.
  out.about = guardFindings(place);
  if (!walked.ok() || !place.exists) {
    out.read = readListAt(file, out.bytes);
    return out;
  }
  OpenList list;
  out.read = readListIn(place, place.name, file, list);
  if (!out.read.ok()) return out;
  out.bytes = list.bytes;
  if (trusted.hasAs) {
    Unreadable why;
    const Outcome readable = readableBy(place, trusted.server, why);
    if (!readable.ok()) {
      const std::string &who = trusted.server.name;
      out.about.insert(
          out.about.begin(),
          {0, 0, Severity::Error, "unreadable",
           "the account '" + who + "' cannot read the list: " + unreadableSaid(place, why) +
               ": a server running as '" + who + "' recognises nobody",
           "", 0});
    }
  }
  for (const Finding &f : besideFindings(place, trusted, out.bytes, checkList(file, out.bytes)))
    out.about.push_back(f);
  return out;
}

Outcome readJournalOf(const std::string &file, const std::string &as, JournalRead &out) {
  Trusted trusted;
  Outcome o = trustedWith(as, trusted);
  if (!o.ok()) return o;
  ListPlace place;
  o = walkList(file, trusted, place);
  if (!o.ok()) return o;
  if (place.exists) {
    OpenList list;
    o = readListIn(place, place.name, file, list);
    if (!o.ok()) return o;
    out.listThere = true;
    out.bytes = list.bytes;
  }
  JournalFile journal;
  o = readJournalAt(place, trusted, false, journal, out.entries);
  if (!o.ok()) return o;
  out.journalThere = journal.exists();
  out.journalPath = journal.path();
  return done();
}

}  // namespace tl
