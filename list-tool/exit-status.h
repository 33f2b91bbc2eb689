// The exit status of every subcommand: 0 clean (or recognised, installed, unchanged), 1 findings
// (or not recognised, a refusal, tables that differ), 2 trouble (bad usage, a file that cannot
// be read, a step that failed).
#ifndef TOLVANE_LIST_EXIT_STATUS_H
#define TOLVANE_LIST_EXIT_STATUS_H

namespace tl {

enum : int { kClean = 0, kFindings = 1, kTrouble = 2 };

}  // namespace tl

#endif
