// What the test programs share about files: a file's bytes, read whole.
#ifndef TOLVANE_TESTS_SUPPORT_FILE_BYTES_H
#define TOLVANE_TESTS_SUPPORT_FILE_BYTES_H

#include <fstream>
#include <sstream>
#include <string>

// The bytes of the file at `path`; "" when it cannot be read.
inline std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

#endif
