// check, diff and decode: reading lists and seeds without changing anything.
#include <cstdio>

#include "access.h"
#include "changes.h"
#include "commands.h"
#include "listfile.h"
#include "report.h"
#include "seeds.h"

namespace tl {

int checkCommand(const std::vector<std::string> &files, bool json, const std::string &as) {
  std::vector<Report> reports;
  bool findings = false;
  for (const std::string &f : files) {
    std::string data, err;
    if (!readFile(f, data, err)) {
      std::fprintf(stderr, "tolvane-list: %s\n", err.c_str());
      return kTrouble;
    }
    reports.push_back(checkList(f, data));
    // How the list is guarded, and whether the server's account can read it: about the file
    // as a whole, so before the findings about its lines.
    std::vector<Finding> guards;
    std::string why;
    if (f != "-" && !as.empty() && !readableBy(f, as, why)) {
      guards.push_back({0, 0, Severity::Error, "unreadable",
                        "the account '" + as + "' cannot read the list: " + why +
                            ": a server running as '" + as + "' recognises nobody",
                        "", 0});
    }
    for (const Guard &g : f != "-" ? guardOf(f, as) : std::vector<Guard>()) {
      guards.push_back(
          {0, 0, g.error ? Severity::Error : Severity::Warning, g.code, g.message, "", 0});
    }
    reports.back().findings.insert(reports.back().findings.begin(), guards.begin(), guards.end());
    findings = findings || !reports.back().findings.empty();
  }
  if (json) {
    printJson(stdout, reports);
  } else {
    for (const Report &r : reports) printText(stdout, r);
  }
  return findings ? kFindings : kClean;
}

int diffCommand(const std::string &before, const std::string &after) {
  std::string a, b, err;
  if (!readFile(before, a, err) || !readFile(after, b, err)) {
    std::fprintf(stderr, "tolvane-list: %s\n", err.c_str());
    return kTrouble;
  }
  const Report ra = checkList(before, a);
  const Report rb = checkList(after, b);
  printChanges(stdout, ra, rb);
  return sameTable(ra, rb) ? kClean : kFindings;
}

int decodeCommand(const std::string &text) {
  std::string letters = text;
  if (letters.size() >= 2 && letters.front() == '{' && letters.back() == '}')
    letters = letters.substr(1, letters.size() - 2);
  uint32 value = 0;
  uint64_t unwrapped = 0;
  std::string why;
  const bool asReg = decodeSeed(letters, false, value, unwrapped, why);
  if (!asReg && !decodeSeed(letters, true, value, unwrapped, why)) {
    std::fprintf(stderr, "tolvane-list: '%s' is not a seed: %s\n", letters.c_str(), why.c_str());
    return kFindings;
  }
  std::printf("{%s} = %u", letters.c_str(), value);
  if (unwrapped != value)
    std::printf(" (%llu, wrapped modulo 2^32)", static_cast<unsigned long long>(unwrapped));
  if (!asReg) std::printf(" (as a PUID seed only: 'Z' is not allowed in a registration seed)");
  std::printf("\n");
  return kClean;
}

int encodeCommand(uint32 rSeed, uint32 pSeed, const std::string &pattern, const std::string &note) {
  std::string line, why;
  if (!encodeLine(rSeed, pSeed, pattern, note, line, why)) {
    std::fprintf(stderr, "tolvane-list: refused: %s\n", why.c_str());
    return kFindings;
  }
  std::printf("%s\n", line.c_str());
  return kClean;
}

}  // namespace tl
