// Who a table recognises: each record's three tests against a user (registration seed, PUID
// seed, address), the first record that recognises them, and the lines that would have,
// had they loaded (past the 32nd record, or lost to a familiar slip).
#ifndef TOLVANE_LIST_CONTENT_RECOGNITION_H
#define TOLVANE_LIST_CONTENT_RECOGNITION_H

#include <string>
#include <vector>

#include "content/report.h"
#include "tv-match.h"

namespace tl {

// One record's three tests against the user.
struct Tests {
  bool rSeed, pSeed;
  int address;  // -1 below the range, 0 inside, 1 above
  bool all() const { return rSeed && pSeed && address == 0; }
};

Tests testsOf(const Tolvane &rec, const TvProbe &user);

// "below the range", "inside", "above the range".
const char *addressWord(int address);

// A line that gives no record, and whether it would recognise the user as mended.
struct LostLine {
  const Lost *lost;
  std::string mended;  // the line with its slip mended ("" when nothing was mended)
  bool wouldRecognise;
};

struct Recognition {
  const Loaded *first = nullptr;  // the record that recognises the user, null for none
  std::vector<Tests> tests;       // for each record of the table, in order
  std::vector<bool> pastAdmits;   // for each record past the 32nd: whether it admits the user
  std::vector<LostLine> lost;     // for each line that gives no record
  std::vector<int> couldHave;     // lines that would recognise the user had they loaded
};

// How the table of `r` meets the user.
Recognition recognition(const Report &r, const TvProbe &user);

// The slot of the first record that recognises the user; 0 for none.
int recognisedBy(const Report &r, const TvProbe &user);

}  // namespace tl

#endif
