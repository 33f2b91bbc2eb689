// history: the list's changes as its journal holds them, newest first: when, by whom (the account
// and the user behind sudo), the verb, the records added, removed and moved, whether each was
// installed and put on record in the system log (then, or late), whether it was cut short, and
// the outside changes found between them. It answers "who made this person an administrator, and
// when" where the system log has rotated away, or was never there.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "change/change.h"
#include "cli.h"
#include "command.h"
#include "content/digest.h"
#include "content/grant-end.h"
#include "content/history.h"
#include "content/journal-state.h"
#include "content/json-out.h"
#include "content/shown.h"
#include "content/text-out.h"

namespace tl {
namespace {

struct HistoryOptions {
  std::string file;
  bool json = false;
  std::string as;
};

// A record the journal kept, as a change shows it; a comment it cut says how much it left out.
std::string shownRecord(const KeptRecord &k) {
  const Loaded l{k.slot, k.line, 1, k.rec, k.comment, ""};
  return describeRecord(l) +
         (k.cut > 0 ? "... (cut: " + std::to_string(k.cut) + " more bytes)" : "");
}

// One change of the table, as history shows it under its change.
std::string shownChange(const KeptChange &c) {
  const KeptRecord &r = c.record;
  const std::string place = "line " + std::to_string(r.line) + " slot " + std::to_string(r.slot);
  switch (c.kind) {
    case KeptChange::Added:
      return "+ " + place + ": " + shownRecord(r);
    case KeptChange::Removed:
      return "- " + place + ": " + shownRecord(r);
    case KeptChange::Moved:
      break;
  }
  return "~ " + place + ", was line " + std::to_string(c.wasLine) + " slot " +
         std::to_string(c.wasSlot) + ": " + shownRecord(r);
}

// Whether it reached the system log: "on record", "on record late (by change ID, TIME)", "not on
// record".
std::string shownLogged(const HistoryItem &h) {
  if (h.logged) return "on record";
  if (!h.loggedLate.empty())
    return "on record late (by change " + h.loggedLate + ", " + utcTime(h.loggedAt) + ")";
  return "not on record in the system log";
}

// The head line of an item.
std::string headOf(const HistoryItem &h) {
  if (h.kind == HistoryItem::Outside) {
    return utcTime(h.at) + "  outside change, found by " +
           (h.verb.empty() ? "" : h.verb + " by " + h.by.shown() + ", ") + "change " + h.foundBy +
           ": " + shownLogged(h);
  }
  std::string what;
  if (h.cutShort) {
    what = h.putRightBy.empty()
               ? "cut short: the next change puts it right"
               : h.cutShortSaid + (h.installed ? "; completed" : "") + " by change " + h.putRightBy;
  } else if (h.installed) {
    what = "installed" + (h.despite.empty() ? "" : " despite " + h.despite);
  } else {
    what = "not installed (" + (h.why.empty() ? h.result : h.why) + ")";
  }
  if (h.installed || (h.cutShort && !h.putRightBy.empty())) what += "; " + shownLogged(h);
  if (!h.kept.empty()) what += "; the edit is kept in " + h.kept;
  return utcTime(h.at) + "  " + h.verb + " by " + h.by.shown() + ", change " + h.id + ": " + what;
}

nlohmann::json itemJson(const HistoryItem &h) {
  nlohmann::json changes = nlohmann::json::array();
  for (const KeptChange &c : h.changes) {
    nlohmann::json one = {{"kind", c.kind == KeptChange::Added     ? "added"
                                   : c.kind == KeptChange::Removed ? "removed"
                                                                   : "moved"},
                          {"record", keptRecordJson(c.record)}};
    // The grant's end, when its note names one (not when the journal cut the note).
    const std::optional<UtcSeconds> end =
        c.record.cut == 0 ? grantEnd(c.record.comment) : std::nullopt;
    if (end) one["record"]["until"] = untilText(*end);
    if (c.kind == KeptChange::Moved) {
      one["wasLine"] = c.wasLine;
      one["wasSlot"] = c.wasSlot;
    }
    changes.push_back(one);
  }
  nlohmann::json j = {{"kind", h.kind == HistoryItem::Outside ? "outside" : "change"},
                      {"id", h.id},
                      {"at", utcTime(h.at)},
                      {"installed", h.installed},
                      {"logged", h.logged},
                      {"changes", changes}};
  if (!h.loggedLate.empty()) j["loggedLate"] = {{"by", h.loggedLate}, {"at", utcTime(h.loggedAt)}};
  if (h.kind == HistoryItem::Outside) {
    j["foundBy"] = {
        {"id", h.foundBy},
        {"verb", h.verb},
        {"account", h.by.account},
        {"sudoUser", h.by.sudoUser.empty() ? nlohmann::json() : nlohmann::json(h.by.sudoUser)}};
    return j;
  }
  j["verb"] = h.verb;
  j["account"] = h.by.account;
  j["sudoUser"] = h.by.sudoUser.empty() ? nlohmann::json() : nlohmann::json(h.by.sudoUser);
  j["result"] = h.result;
  if (!h.why.empty()) j["why"] = h.why;
  if (h.cutShort) {
    j["cutShort"] = {
        {"said", h.cutShortSaid},
        {"putRightBy", h.putRightBy.empty() ? nlohmann::json() : nlohmann::json(h.putRightBy)}};
  }
  if (!h.despite.empty()) j["despite"] = h.despite;
  if (!h.kept.empty()) j["kept"] = h.kept;
  return j;
}

int history(const HistoryOptions &o, Voice &voice) {
  voice.about(o.file);
  JournalRead read;
  Outcome got = readJournalOf(o.file, o.as, read);
  if (!got.ok()) {
    got.message = withRootHint(got.message, geteuid() == 0);
    // A journal that cannot be read is trouble for history, whatever its code.
    if (got.kind == Outcome::Refused) {
      voice.fail(got);
      got.kind = Outcome::Trouble;
    }
    return voice.end(got);
  }
  const std::vector<HistoryItem> items = historyOf(read.entries);
  // Now: the list as it is, when it is not what the journal's last change left.
  const JournalState state = stateOf(read.entries);
  const std::string now = read.listThere ? digestOf(read.bytes) : "";
  const bool outsideNow = !state.last.digest.empty() && now != state.last.digest && !state.open;
  Report was, is;
  std::vector<TableChange> pending;
  if (outsideNow) {
    was = tableReport(o.file, state.last.table);
    is = checkList(o.file, read.bytes);
    pending = compareTables(was, is);
  }
  nlohmann::json list = nlohmann::json::array();
  for (const HistoryItem &h : items) list.push_back(itemJson(h));
  nlohmann::json facts = {
      {"journal", read.journalThere ? nlohmann::json(read.journalPath) : nlohmann::json()},
      {"changes", list}};
  if (outsideNow) {
    facts["now"] = changeJson(was, is, pending);
    facts["now"]["outside"] = true;
  }
  voice.facts(facts, [&] {
    if (!read.journalThere) {
      printLine(stdout, o.file + ": no journal: no change that keeps one was made to this list");
      return;
    }
    size_t outside = 0;
    for (const HistoryItem &h : items) outside += h.kind == HistoryItem::Outside ? 1 : 0;
    const size_t made = items.size() - outside;
    printLine(stdout, o.file + ": " + std::to_string(made) + " change" + (made == 1 ? "" : "s") +
                          " and " + std::to_string(outside) + " outside change" +
                          (outside == 1 ? "" : "s") + " in its journal (" + read.journalPath +
                          "), newest first");
    if (outsideNow) {
      printLine(stdout, "now  the list is not what " +
                            (state.last.outside
                                 ? "the outside change found at " + utcTime(state.last.at) + " left"
                                 : "change " + state.last.id + " installed") +
                            ": changed outside tolvane-list, not yet in the journal (" +
                            changeSummary(was, is, pending) + ")");
      for (const KeptChange &c : keptChanges(pending)) printLine(stdout, "    " + shownChange(c));
    }
    for (const HistoryItem &h : items) {
      printLine(stdout, headOf(h));
      for (const KeptChange &c : h.changes) printLine(stdout, "    " + shownChange(c));
    }
  });
  return voice.end(done());
}

}  // namespace

Subcommand defineHistory(CLI::App &tool) {
  auto o = std::make_shared<HistoryOptions>();
  CLI::App *sub = listSubcommand(
      tool, "history", "Show FILE's changes from its journal, newest first, with who made them",
      o->file);
  sub->add_flag("--json", o->json, "the history as JSON");
  sub->add_option("--as", o->as,
                  "the server's account (a name or an id), trusted with the list: it may own it")
      ->type_name("USER");
  sub->footer(
      "Each change: when, who (the account, and the user behind sudo), its verb, the records\n"
      "added (+), removed (-) and moved (~), whether it was installed and put on record, and\n"
      "whether it was cut short; and the outside changes found between them. Exit status 0\n"
      "shown, 2 a journal that cannot be read.");
  nameValues(sub);
  return {sub,
          [o](Voice &voice) -> int {
            if (o->file.empty()) o->file = listHome();
            const Outcome as = accountNamed(o->as);
            if (!as.ok()) return voice.end(as);
            return history(*o, voice);
          },
          &o->json};
}

}  // namespace tl
