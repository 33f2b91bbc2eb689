#include "files/paths.h"

namespace tl {

std::string folderOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joined(const std::string &folder, const std::string &name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::vector<std::string> components(const std::string &path) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= path.size()) {
    size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(at, slash - at);
    if (!part.empty() && part != ".") out.push_back(part);
    at = slash + 1;
  }
  return out;
}

}  // namespace tl
