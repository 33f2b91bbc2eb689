#include "transcript.h"

namespace host {

void Transcript::always(const std::string &s) const {
  std::fputs(s.c_str(), out_);
  std::fputc('\n', out_);
}

void Transcript::violation(const std::string &what) {
  ++violations_;
  always("violation: " + what);
}

}  // namespace host
