// The host's transcript: one line per scenario command, entry point call and service call on
// standard output. A quiet transcript prints only notes, violations and the closing line.
#ifndef TOLVANE_HOST_TRANSCRIPT_H
#define TOLVANE_HOST_TRANSCRIPT_H

#include <cstdio>
#include <string>

namespace host {

class Transcript {
 public:
  Transcript(FILE *out, bool quiet) : out_(out), quiet_(quiet) {}

  // Whether lines are printed at all; a caller skips formatting one that would not be.
  bool quiet() const { return quiet_; }
  // A line of the call-by-call record: left out when quiet.
  void line(const std::string &s) const {
    if (!quiet_) always(s);
  }
  // A line printed however quiet: notes and the closing line.
  void always(const std::string &s) const;
  // A breach of the host's rules: printed and counted.
  void violation(const std::string &what);
  int violations() const { return violations_; }

 private:
  FILE *out_;
  bool quiet_;
  int violations_ = 0;
};

}  // namespace host

#endif
