// The subcommands of tolvane-list, one function each. Each returns the exit status:
// 0 clean (or recognised, or installed), 1 findings (or not recognised, or refused, or tables
// that differ), 2 trouble (bad usage, a file that cannot be read, a list being changed).
#ifndef TOLVANE_LIST_COMMANDS_H
#define TOLVANE_LIST_COMMANDS_H

#include <string>
#include <vector>

#include "tv-match.h"

namespace tl {

enum : int { kClean = 0, kFindings = 1, kTrouble = 2 };

// check FILE... [--json] [--as USER]
int checkCommand(const std::vector<std::string> &files, bool json, const std::string &as);

// match FILE with the user's values
int matchCommand(const std::string &file, const TvProbe &user);

// encode: one line for these values
int encodeCommand(uint32 rSeed, uint32 pSeed, const std::string &pattern, const std::string &note);

// decode LETTERS
int decodeCommand(const std::string &text);

// diff OLD NEW
int diffCommand(const std::string &before, const std::string &after);

// edit FILE: a copy edited with the operator's editor, checked, installed.
int editCommand(const std::string &file);

// add FILE: the line for these values appended, checked, installed.
int addCommand(const std::string &file, const std::string &line, bool dryRun);

// remove FILE LINE...: those lines taken out, checked, installed.
int removeCommand(const std::string &file, const std::vector<int> &lines, bool dryRun);

}  // namespace tl

#endif
