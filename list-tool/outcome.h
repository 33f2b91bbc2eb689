// How a step of tolvane-list ends: done, refused, or trouble. Every step that can fail returns
// one, from either wing (content/, files/) to the command that asked for it; only a command's
// own body, or the change, says it: on standard error, in the system log, and in the one JSON
// document of --json.
//
// The exit status of every subcommand follows from it: 0 done (clean, recognised, installed,
// unchanged), 1 findings or a refusal (not recognised, tables that differ, a change refused),
// 2 trouble (bad usage, a file that cannot be read, a step that failed), 128 + N for a signal N
// that ended the work.
#ifndef TOLVANE_LIST_OUTCOME_H
#define TOLVANE_LIST_OUTCOME_H

#include <string>
#include <utility>

namespace tl {

enum : int { kClean = 0, kFindings = 1, kTrouble = 2 };

struct Outcome {
  enum Kind { Done, Refused, Trouble } kind = Done;
  std::string code;     // Refused: a stable word for the refusal, as shown in [code]; Trouble:
                        // its kind when every subcommand says it alike ("usage", "cannot-read")
  std::string message;  // Refused, Trouble: the sentence; Done: a note ("" for none)
  int signal = 0;       // Trouble: the signal that ended the work, when one did

  bool ok() const { return kind == Done; }
  int exitStatus() const {
    if (kind == Done) return kClean;
    if (kind == Refused) return kFindings;
    return signal != 0 ? 128 + signal : kTrouble;
  }
};

inline Outcome done(std::string note = "") {
  return {Outcome::Done, "", std::move(note), 0};
}

inline Outcome refused(std::string code, std::string message) {
  return {Outcome::Refused, std::move(code), std::move(message), 0};
}

inline Outcome trouble(std::string message, int signal = 0) {
  return {Outcome::Trouble, "", std::move(message), signal};
}

// Trouble of a kind every subcommand says the same way: words the tool cannot take ("usage"), a
// file it cannot read ("cannot-read").
inline Outcome usage(std::string message) {
  return {Outcome::Trouble, "usage", std::move(message), 0};
}
inline Outcome cannotRead(std::string message) {
  return {Outcome::Trouble, "cannot-read", std::move(message), 0};
}

}  // namespace tl

#endif
