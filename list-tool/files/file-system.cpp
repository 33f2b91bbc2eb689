#include "files/file-system.h"

#include <sys/vfs.h>

namespace tl {

std::string stallingFileSystem(unsigned long type) {
  // The magic numbers of <linux/magic.h>, and Lustre's own.
  static const struct {
    unsigned long type;
    const char *name;
  } kStalling[] = {
      {0x6969, "an NFS mount"},
      {0x517B, "an SMB mount"},
      {0xFF534D42, "a CIFS mount"},
      {0xFE534D42, "an SMB mount"},
      {0x564C, "an NCP mount"},
      {0x65735546, "a FUSE mount"},
      {0x01021997, "a 9p mount"},
      {0x00C36400, "a Ceph mount"},
      {0x5346414F, "an AFS mount"},
      {0x6B414653, "an AFS mount"},
      {0x73757245, "a Coda mount"},
      {0x01161970, "a GFS2 file system"},
      {0x7461636F, "an OCFS2 file system"},
      {0x20030528, "an OrangeFS mount"},
      {0x0BD00BD0, "a Lustre mount"},
  };
  for (const auto &s : kStalling) {
    if (s.type == (type & 0xFFFFFFFFul)) return s.name;
  }
  return "";
}

std::string stallingFileSystemOf(int dir) {
  struct statfs fs {};
  if (fstatfs(dir, &fs) != 0) return "";
  return stallingFileSystem(static_cast<unsigned long>(fs.f_type));
}

}  // namespace tl
