#include "content/voice.h"

#include <utility>

#include "content/json-out.h"
#include "content/table-diff.h"
#include "content/text-out.h"

namespace tl {

Voice::Voice(std::string command, bool json) : command_(std::move(command)), json_(json) {}

void Voice::about(const std::string &file) {
  file_ = file;
}

void Voice::finding(const std::string &file, const Finding &f, bool already, FILE *stream) {
  if (!json_) {
    printFinding(stream, file, f);
    if (already) {
      printLine(stdout,
                file + (f.line == 0 ? "" : ":" + std::to_string(f.line)) + ": note: already " +
                    (f.severity == Severity::Error ? "an error " : "") + "before this change");
    }
    return;
  }
  nlohmann::json j = findingJson(f);
  j["file"] = file;
  if (already) j["already"] = true;
  doc_["findings"].push_back(j);
}

void Voice::whole(const std::string &file, Severity s, const std::string &code,
                  const std::string &message) {
  finding(file, {0, 0, s, code, message, "", 0});
}

void Voice::changes(const Report &before, const Report &after, const std::string &beforeName,
                    const std::string &afterName) {
  if (!json_) {
    printChanges(stdout, before, after, beforeName, afterName);
    return;
  }
  const nlohmann::json c = changeJson(before, after, compareTables(before, after));
  for (auto it = c.begin(); it != c.end(); ++it) doc_[it.key()] = it.value();
}

void Voice::line(FILE *stream, const std::string &text, const std::string &key,
                 nlohmann::json value, bool append) {
  if (!json_) {
    printLine(stream, text);
    return;
  }
  if (append) {
    doc_[key].push_back(std::move(value));
  } else {
    doc_[key] = std::move(value);
  }
}

void Voice::fact(const std::string &key, nlohmann::json value, const std::function<void()> &text) {
  if (!json_) {
    if (text) text();
    return;
  }
  doc_[key] = std::move(value);
}

namespace {

// The code of a failure: its own, "signal" for one a signal ended, else "failed".
std::string codeOf(const Outcome &o) {
  if (!o.code.empty()) return o.code;
  return o.kind == Outcome::Trouble && o.signal != 0 ? "signal" : "failed";
}

}  // namespace

void Voice::fail(const Outcome &o, bool saidAlready) {
  if (json_ || failed_ || o.kind == Outcome::Done) return;
  failed_ = true;
  if (saidAlready) return;
  if (o.kind == Outcome::Refused) {
    printLine(stderr, (file_.empty() ? std::string("tolvane-list") : file_) +
                          ": error: " + o.message + " [" + codeOf(o) + "]");
  } else {
    printLine(stderr, "tolvane-list: " + o.message);
  }
}

void Voice::facts(const nlohmann::json &object, const std::function<void()> &text) {
  if (!json_) {
    if (text) text();
    return;
  }
  for (auto it = object.begin(); it != object.end(); ++it) doc_[it.key()] = it.value();
}

int Voice::end(const Outcome &o, int status) {
  const int exit = o.kind == Outcome::Done && status >= 0 ? status : o.exitStatus();
  if (ended_) return exit;
  ended_ = true;
  const std::string code = codeOf(o);
  if (!json_) {
    fail(o);
    std::fflush(nullptr);
    return exit;
  }
  nlohmann::json doc = {{"schema", kJsonSchema},
                        {"command", command_},
                        {"outcome", o.kind == Outcome::Done      ? "done"
                                    : o.kind == Outcome::Refused ? "refused"
                                                                 : "trouble"},
                        {"exitStatus", exit}};
  if (!file_.empty()) doc["file"] = file_;
  if (o.kind != Outcome::Done) {
    doc["error"] = {{"code", code}, {"message", o.message}};
    if (o.signal != 0) doc["error"]["signal"] = o.signal;
  } else if (!o.message.empty()) {
    doc["note"] = o.message;
  }
  if (!doc_.contains("findings")) doc["findings"] = nlohmann::json::array();
  for (auto it = doc_.begin(); it != doc_.end(); ++it) doc[it.key()] = it.value();
  printJson(stdout, doc);
  std::fflush(nullptr);
  return exit;
}

}  // namespace tl
