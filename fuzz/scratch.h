// A folder of this process's own for fuzz targets that must hand the plug-in real paths. It is
// made on first use, in memory (/dev/shm) where the system has it, else in /tmp, and removed
// with all it holds when the process exits. In memory, writing a file costs far less than on a
// disk's journal, and the fuzzer runs inputs instead of waiting for the disk.
#ifndef TOLVANE_FUZZ_SCRATCH_H
#define TOLVANE_FUZZ_SCRATCH_H

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Removes one entry of the scratch folder, deepest first.
inline int removeEntry(const char *path, const struct stat * /*st*/, int /*flag*/,
                       struct FTW * /*ftw*/) {
  return std::remove(path);
}

// The scratch folder's path.
inline const std::string &scratchDir() {
  static const std::string dir = [] {
    char shm[] = "/dev/shm/tolvane-fuzz-XXXXXX";
    if (mkdtemp(shm) != nullptr) return std::string(shm);
    char tmp[] = "/tmp/tolvane-fuzz-XXXXXX";
    if (mkdtemp(tmp) == nullptr) std::abort();
    return std::string(tmp);
  }();
  static const struct Remover {
    ~Remover() { nftw(dir.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS); }
  } remover;
  return dir;
}

// Writes the bytes to the file `name` in the scratch folder and returns its path.
inline std::string scratchFile(const void *data, size_t size, const char *name = "list") {
  std::string path = scratchDir() + "/" + name;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  return path;
}

}  // namespace fuzz

#endif
