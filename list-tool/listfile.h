// Checking a list file: it is read exactly as the plug-in's reload reads it, through the same
// reader and parser, and every piece is accounted for.
#ifndef TOLVANE_LIST_LISTFILE_H
#define TOLVANE_LIST_LISTFILE_H

#include <string>
#include <vector>

#include "tv-list.h"

namespace tl {

enum class Severity { Error, Warning };

// A finding at a place in the file; lines and columns count from 1.
struct Finding {
  int line;
  int column;
  Severity severity;
  std::string code;
  std::string message;
};

// A record the plug-in would load, with the place of its piece.
struct Loaded {
  int slot;  // 1 to 32, in table order
  int line;
  int column;
  Tolvane rec;
};

struct Report {
  std::string file;
  std::vector<Finding> findings;  // in file order
  std::vector<Loaded> records;    // in table order
};

// Reads a whole file; false with a message when it cannot be read.
bool readFile(const std::string &path, std::string &data, std::string &err);

// Checks a list file's bytes as the plug-in's reload would read them.
Report checkList(const std::string &file, const std::string &data);

}  // namespace tl

#endif
