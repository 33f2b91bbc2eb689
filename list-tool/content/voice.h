// The one place that speaks. Whatever a run of tolvane-list has to say goes through its Voice,
// fact by fact: as text for people, printed as it comes (so that what an operator is asked about
// stands above the question), or, with --json, gathered into the one document printed when the
// run ends, whatever ends it. Every fact is given once, with its text and its JSON together, so
// the document carries all that the text says.
//
// The document (its schema, kJsonSchema, is written in tolvane-list(1)):
//   {"schema": 1, "command": "add", "file": "...", "outcome": "done" | "refused" | "trouble",
//    "exitStatus": 0, "error": {"code": "...", "message": "..."} (not done),
//    "findings": [{"file", "line", "column", "severity", "code", "message", "already"}],
//    ...the command's own facts}
// A failure has one shape in every subcommand: its code says what kind it is ("usage" for words
// the tool cannot take, "cannot-read" for a file it cannot read, "values" for values that make no
// record as written, "signal" for a signal that ended the run, "failed" for a step that failed,
// else the refusal's own code).
#ifndef TOLVANE_LIST_CONTENT_VOICE_H
#define TOLVANE_LIST_CONTENT_VOICE_H

#include <cstdio>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "content/report.h"
#include "outcome.h"

namespace tl {

// The version of the JSON documents' shape; raised when a member changes meaning or goes.
constexpr int kJsonSchema = 1;

class Voice {
 public:
  Voice(std::string command, bool json);
  bool json() const { return json_; }
  // The file the run is about, its "file" member ("" for none).
  void about(const std::string &file);
  const std::string &file() const { return file_; }
  // A finding in a file: text as a compiler shows it, with its line and a caret; `already` says
  // that the list had it before this change (a note under it); on `stream`, standard output
  // unless it belongs with a refusal. JSON: in "findings".
  void finding(const std::string &file, const Finding &f, bool already = false,
               FILE *stream = stdout);
  // A finding about a file as a whole: "FILE: warning: MESSAGE [code]" on standard output.
  void whole(const std::string &file, Severity s, const std::string &code,
             const std::string &message);
  // The changes between two tables, as diff shows them; JSON: "changes", "sameTable" and
  // "summary".
  void changes(const Report &before, const Report &after, const std::string &beforeName,
               const std::string &afterName);
  // A line of the run's own on `stream` (standard output or error), whose fact the document
  // carries as `key`: set to `value`, or appended to the array `key` when `append`.
  void line(FILE *stream, const std::string &text, const std::string &key, nlohmann::json value,
            bool append = false);
  // A fact in the document as `key`, whose text, in the command's own layout (check's table,
  // match's verdicts), `text` prints; none when it has no text of its own.
  void fact(const std::string &key, nlohmann::json value,
            const std::function<void()> &text = nullptr);
  // The members of `object`, each a fact as fact() takes one, whose text `text` prints.
  void facts(const nlohmann::json &object, const std::function<void()> &text = nullptr);
  // Whether the document holds `key` already.
  bool has(const std::string &key) const { return doc_.contains(key); }
  // Says now how the run fails (a refusal or trouble on standard error), before what the run
  // says after it; end() does not say it again. `saidAlready`: the command's own text said it
  // (check's report of a file it cannot read), and nothing more is printed.
  void fail(const Outcome &o, bool saidAlready = false);
  // Ends the run as `o` says: a refusal (FILE: error: MESSAGE [code]) or trouble (tolvane-list:
  // MESSAGE) on standard error, or the one document. `status`, when not negative, is the exit
  // status of a run done (1 for findings, a user not recognised). Returns the exit status.
  int end(const Outcome &o, int status = -1);

 private:
  std::string command_;
  bool json_;
  std::string file_;
  nlohmann::json doc_ = nlohmann::json::object();
  bool ended_ = false;
  bool failed_ = false;  // the failure was said
};

}  // namespace tl

#endif
