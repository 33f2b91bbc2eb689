// A file of this process's own, for fuzz targets that must hand the plug-in a real file.
#ifndef TOLVANE_FUZZ_SCRATCH_H
#define TOLVANE_FUZZ_SCRATCH_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Writes the bytes to the scratch file and returns its path.
inline const std::string &scratchFile(const void *data, size_t size) {
  static const std::string path = "/tmp/tolvane-fuzz-" + std::to_string(getpid());
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  return path;
}

}  // namespace fuzz

#endif
