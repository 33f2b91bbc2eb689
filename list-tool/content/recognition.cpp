#include "content/recognition.h"

#include "content/explain.h"

namespace tl {

Tests testsOf(const Tolvane &rec, const TvProbe &user) {
  return {rec.rSeed == user.rSeed, rec.pSeed == 0 || rec.pSeed == user.pSeed,
          user.ipAdr < rec.ipMin   ? -1
          : user.ipAdr > rec.ipMax ? 1
                                   : 0};
}

const char *addressWord(int address) {
  return address < 0 ? "below the range" : address > 0 ? "above the range" : "inside";
}

Recognition recognition(const Report &r, const TvProbe &user) {
  Recognition out;
  for (const Loaded &l : r.records) {
    out.tests.push_back(testsOf(l.rec, user));
    if (out.first == nullptr && out.tests.back().all()) out.first = &l;
  }
  for (const Loaded &l : r.ignored) {
    out.pastAdmits.push_back(testsOf(l.rec, user).all());
    if (out.pastAdmits.back()) out.couldHave.push_back(l.line);
  }
  for (const Lost &l : r.lost) {
    LostLine one{&l, "", false};
    Tolvane rec;
    if (mendLine(l.text, one.mended)) {
      one.wouldRecognise = recordOfLine(one.mended, rec) && testsOf(rec, user).all();
      if (one.wouldRecognise) out.couldHave.push_back(l.line);
    }
    out.lost.push_back(one);
  }
  return out;
}

int recognisedBy(const Report &r, const TvProbe &user) {
  for (const Loaded &l : r.records) {
    if (tvCompare(&l.rec, &user) == TV_MATCH) return l.slot;
  }
  return 0;
}

}  // namespace tl
