#include "content/journal.h"

#include <nlohmann/json.hpp>

#include "content/shown.h"
#include "numbers.h"

namespace tl {
namespace {

using json = nlohmann::json;

// The most of a comment the journal keeps, in bytes.
constexpr size_t kCommentMost = 200;

const char *const kKinds[] = {"start", "install", "end", "repair", "outside", "logged", "state"};
const char *const kChangeKinds[] = {"added", "removed", "moved"};

// Reading an entry back: each accessor says whether the member is there with the right type,
// so that a damaged or foreign line is refused, never half read.
class Reader {
 public:
  explicit Reader(const json &j) : j_(j) {}
  bool text(const char *key, std::string &out, bool required = true) {
    const auto it = j_.find(key);
    if (it == j_.end()) return !required;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
  }
  bool flag(const char *key, bool &out) {
    const auto it = j_.find(key);
    if (it == j_.end()) return true;
    if (!it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
  }
  template <typename N>
  bool number(const char *key, N &out, bool required = true) {
    const auto it = j_.find(key);
    if (it == j_.end()) return !required;
    if (!it->is_number_unsigned()) return false;
    const auto v = it->get<unsigned long long>();
    out = static_cast<N>(v);
    return static_cast<unsigned long long>(out) == v;
  }
  bool time(const char *key, time_t &out) {
    std::string t;
    if (!text(key, t)) return false;
    out = parseUtcTime(t);
    return out != -1;
  }
  bool address(const char *key, uint32 &out) {
    std::string a;
    return text(key, a) && tvc::parseAddress(a, out);
  }
  const json *member(const char *key) const {
    const auto it = j_.find(key);
    return it == j_.end() ? nullptr : &*it;
  }

 private:
  const json &j_;
};

json byJson(const ChangeBy &b) {
  json j = {{"account", b.account}, {"uid", b.uid}};
  if (!b.sudoUser.empty()) {
    j["sudoUser"] = b.sudoUser;
    j["sudoUid"] = b.sudoUid;
  }
  return j;
}

bool readBy(const json &j, ChangeBy &b) {
  if (!j.is_object()) return false;
  Reader r(j);
  return r.text("account", b.account) && r.number("uid", b.uid) &&
         r.text("sudoUser", b.sudoUser, false) && r.number("sudoUid", b.sudoUid, false);
}

}  // namespace

json keptRecordJson(const KeptRecord &k) {
  json j = {{"slot", k.slot},
            {"line", k.line},
            {"rSeed", k.rec.rSeed},
            {"pSeed", k.rec.pSeed},
            {"ipMin", dotted(k.rec.ipMin)},
            {"ipMax", dotted(k.rec.ipMax)},
            {"comment", k.comment}};
  if (k.cut > 0) j["cut"] = k.cut;
  return j;
}

namespace {

bool readRecord(const json &j, KeptRecord &k) {
  if (!j.is_object()) return false;
  Reader r(j);
  return r.number("slot", k.slot) && r.number("line", k.line) && r.number("rSeed", k.rec.rSeed) &&
         r.number("pSeed", k.rec.pSeed) && r.address("ipMin", k.rec.ipMin) &&
         r.address("ipMax", k.rec.ipMax) && r.text("comment", k.comment) &&
         r.number("cut", k.cut, false);
}

json copyJson(const CopyKept &c) {
  json j = {{"path", c.path}, {"owner", c.owner}, {"beside", c.beside}};
  if (c.beside) j["name"] = c.name;
  return j;
}

bool readCopy(const json &j, CopyKept &c) {
  if (!j.is_object()) return false;
  Reader r(j);
  return r.text("path", c.path) && r.number("owner", c.owner) && r.flag("beside", c.beside) &&
         r.text("name", c.name, c.beside) && !c.path.empty();
}

bool readCopyIn(Reader &r, const char *key, CopyKept &c) {
  const json *m = r.member(key);
  return m == nullptr || readCopy(*m, c);
}

json changesJson(const std::vector<KeptChange> &changes) {
  json list = json::array();
  for (const KeptChange &c : changes) {
    json j = {{"kind", kChangeKinds[c.kind]}, {"record", keptRecordJson(c.record)}};
    if (c.kind == KeptChange::Moved) {
      j["wasLine"] = c.wasLine;
      j["wasSlot"] = c.wasSlot;
    }
    list.push_back(j);
  }
  return list;
}

bool readChanges(Reader &r, std::vector<KeptChange> &out) {
  const json *m = r.member("changes");
  if (m == nullptr) return true;
  if (!m->is_array()) return false;
  for (const json &j : *m) {
    if (!j.is_object()) return false;
    Reader c(j);
    KeptChange k;
    std::string kind;
    if (!c.text("kind", kind)) return false;
    bool known = false;
    for (int i = 0; i < 3; ++i) {
      if (kind != kChangeKinds[i]) continue;
      k.kind = static_cast<KeptChange::Kind>(i);
      known = true;
    }
    const json *rec = c.member("record");
    if (!known || rec == nullptr || !readRecord(*rec, k.record) ||
        !c.number("wasLine", k.wasLine, false) || !c.number("wasSlot", k.wasSlot, false))
      return false;
    out.push_back(k);
  }
  return true;
}

json tableJson(const std::vector<KeptRecord> &table) {
  json list = json::array();
  for (const KeptRecord &k : table) list.push_back(keptRecordJson(k));
  return list;
}

bool readTable(Reader &r, std::vector<KeptRecord> &out) {
  const json *m = r.member("table");
  if (m == nullptr) return true;
  if (!m->is_array()) return false;
  for (const json &j : *m) {
    KeptRecord k;
    if (!readRecord(j, k)) return false;
    out.push_back(k);
  }
  return true;
}

bool readLog(Reader &r, LogLine &line) {
  const json *m = r.member("log");
  if (m == nullptr) return true;
  if (!m->is_object()) return false;
  Reader l(*m);
  return l.text("head", line.head) && l.text("what", line.what);
}

json entryJson(const JournalEntry &e) {
  json j = {{"v", kJournalVersion}, {"kind", kKinds[e.kind]}, {"at", utcTime(e.at)}};
  if (!e.id.empty()) j["id"] = e.id;
  const auto logged = [&] {
    j["logged"] = e.logged;
    if (!e.notLogged.empty()) j["notLogged"] = e.notLogged;
  };
  const auto line = [&] {
    if (!e.line.head.empty()) j["log"] = {{"head", e.line.head}, {"what", e.line.what}};
  };
  switch (e.kind) {
    case JournalEntry::Start:
    case JournalEntry::Install:
      j["verb"] = e.verb;
      j["by"] = byJson(e.by);
      j["list"] = e.list;
      j["read"] = e.read;
      if (!e.copy.path.empty()) j["copy"] = copyJson(e.copy);
      if (e.kind == JournalEntry::Start) break;
      j["install"] = e.install;
      j["previous"] = e.previous;
      j["files"] = e.files;
      line();
      j["changes"] = changesJson(e.changes);
      j["table"] = tableJson(e.table);
      if (!e.despite.empty()) j["despite"] = e.despite;
      break;
    case JournalEntry::End:
    case JournalEntry::Repair:
      j["result"] = e.result;
      if (!e.why.empty()) j["why"] = e.why;
      logged();
      line();
      if (!e.kept.path.empty()) j["kept"] = copyJson(e.kept);
      if (e.kind == JournalEntry::Repair) j["writer"] = e.writer;
      break;
    case JournalEntry::Outside:
      if (!e.verb.empty()) {
        j["verb"] = e.verb;
        j["by"] = byJson(e.by);
      }
      j["before"] = e.before;
      j["after"] = e.after;
      j["changes"] = changesJson(e.changes);
      j["table"] = tableJson(e.table);
      line();
      logged();
      j["writer"] = e.writer;
      break;
    case JournalEntry::Logged:
      j["writer"] = e.writer;
      break;
    case JournalEntry::State: {
      json carried = json::array();
      for (const JournalEntry &c : e.carried) carried.push_back(entryJson(c));
      j["carried"] = carried;
      break;
    }
  }
  return j;
}

bool readEntry(const json &j, JournalEntry &e, std::string &why) {
  if (!j.is_object()) {
    why = "not a JSON object";
    return false;
  }
  Reader r(j);
  int version = 0;
  if (!r.number("v", version)) {
    why = "no version";
    return false;
  }
  if (version != kJournalVersion) {
    why = "written in version " + std::to_string(version) +
          " of the format, which this tolvane-list does not read";
    return false;
  }
  std::string kind;
  bool known = false;
  if (r.text("kind", kind)) {
    for (int i = 0; i < 7; ++i) {
      if (kind != kKinds[i]) continue;
      e.kind = static_cast<JournalEntry::Kind>(i);
      known = true;
    }
  }
  why = "an entry of no kind this tolvane-list knows";
  if (!known) return false;
  why = "a " + kind + " entry that lacks a member or has one of the wrong type";
  if (!r.time("at", e.at) || !r.text("id", e.id, e.kind != JournalEntry::State)) return false;
  const json *by = r.member("by");
  switch (e.kind) {
    case JournalEntry::Start:
    case JournalEntry::Install:
      if (by == nullptr || !readBy(*by, e.by) || !r.text("verb", e.verb) ||
          !r.text("list", e.list) || !r.text("read", e.read) || !readCopyIn(r, "copy", e.copy))
        return false;
      if (e.kind == JournalEntry::Start) return true;
      if (!r.text("install", e.install) || !r.text("previous", e.previous) || !readLog(r, e.line) ||
          !readChanges(r, e.changes) || !readTable(r, e.table) ||
          !r.text("despite", e.despite, false))
        return false;
      {
        const json *files = r.member("files");
        if (files == nullptr || !files->is_array()) return false;
        for (const json &f : *files) {
          if (!f.is_string()) return false;
          e.files.push_back(f.get<std::string>());
        }
      }
      return true;
    case JournalEntry::End:
    case JournalEntry::Repair:
      return r.text("result", e.result) && r.text("why", e.why, false) &&
             r.flag("logged", e.logged) && r.text("notLogged", e.notLogged, false) &&
             readLog(r, e.line) && readCopyIn(r, "kept", e.kept) &&
             r.text("writer", e.writer, e.kind == JournalEntry::Repair);
    case JournalEntry::Outside:
      if (by != nullptr && (!readBy(*by, e.by) || !r.text("verb", e.verb))) return false;
      return r.text("before", e.before) && r.text("after", e.after) && readChanges(r, e.changes) &&
             readTable(r, e.table) && readLog(r, e.line) && r.flag("logged", e.logged) &&
             r.text("notLogged", e.notLogged, false) && r.text("writer", e.writer);
    case JournalEntry::Logged:
      return r.text("writer", e.writer);
    case JournalEntry::State: {
      const json *carried = r.member("carried");
      if (carried == nullptr || !carried->is_array()) return false;
      for (const json &c : *carried) {
        JournalEntry one;
        std::string inner;
        if (!readEntry(c, one, inner) || one.kind == JournalEntry::State) return false;
        e.carried.push_back(one);
      }
      return true;
    }
  }
  return false;
}

}  // namespace

std::string ChangeBy::shown() const {
  return sudoUser.empty() ? account : account + " for " + sudoUser + " (sudo)";
}

bool parseJournal(const std::vector<std::string> &lines, std::vector<JournalEntry> &out,
                  JournalDamage &damage) {
  out.clear();
  for (size_t i = 0; i < lines.size(); ++i) {
    const json j = json::parse(lines[i], nullptr, false);
    JournalEntry e;
    std::string why = "not JSON";
    if (j.is_discarded() || !readEntry(j, e, why)) {
      damage = {static_cast<int>(i + 1), why};
      return false;
    }
    out.push_back(e);
  }
  return true;
}

std::string journalLine(const JournalEntry &e) {
  return entryJson(e).dump(-1, ' ', true, json::error_handler_t::replace);
}

std::string changeId(time_t at, const std::string &letters) {
  std::string t = utcTime(at);
  std::string compact;
  for (char c : t) {
    if (c != '-' && c != ':') compact += c;
  }
  return compact + "-" + letters;
}

std::string utcTime(time_t t) {
  struct tm utc {};
  char buf[32] = "";
  if (gmtime_r(&t, &utc) != nullptr) std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buf;
}

time_t parseUtcTime(const std::string &text) {
  struct tm utc {};
  const char *end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  if (end == nullptr || *end != '\0') return -1;
  return timegm(&utc);
}

KeptRecord keptRecord(const Loaded &l) {
  KeptRecord k{l.slot, l.line, l.rec, l.comment, 0};
  if (k.comment.size() > kCommentMost) {
    size_t at = kCommentMost;
    // Cut before a character, never inside one.
    while (at > 0 && (static_cast<unsigned char>(k.comment[at]) & 0xC0) == 0x80) --at;
    k.cut = k.comment.size() - at;
    k.comment.resize(at);
  }
  return k;
}

std::vector<KeptRecord> keptTable(const Report &r) {
  std::vector<KeptRecord> out;
  for (const Loaded &l : r.records) out.push_back(keptRecord(l));
  return out;
}

std::vector<KeptChange> keptChanges(const std::vector<TableChange> &changes) {
  std::vector<KeptChange> out;
  for (const TableChange &c : changes) {
    KeptChange k;
    k.kind = c.kind == TableChange::Added     ? KeptChange::Added
             : c.kind == TableChange::Removed ? KeptChange::Removed
                                              : KeptChange::Moved;
    k.record = keptRecord(c.after != nullptr ? *c.after : *c.before);
    if (c.kind == TableChange::Moved) {
      k.wasLine = c.before->line;
      k.wasSlot = c.before->slot;
    }
    out.push_back(k);
  }
  return out;
}

Report tableReport(const std::string &file, const std::vector<KeptRecord> &table) {
  Report r;
  r.file = file;
  for (const KeptRecord &k : table) r.records.push_back({k.slot, k.line, 1, k.rec, k.comment, ""});
  return r;
}

}  // namespace tl
