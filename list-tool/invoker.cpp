#include "invoker.h"

#include <unistd.h>

#include <cstdlib>

#include "numbers.h"

namespace tl {
namespace {

bool idFrom(const char *var, uint64_t &id) {
  const char *v = std::getenv(var);
  return v != nullptr && tvc::parseNumber(v, 0xFFFFFFFEu, id) && v[0] != '0';
}

}  // namespace

std::string Invoker::shown() const {
  return delegated ? name + " for " + delegate.name + " (sudo)" : name;
}

Invoker whoInvokes() {
  Invoker who;
  who.name = userName(getuid());
  uint64_t uid = 0, gid = 0;
  if (geteuid() != 0 || !idFrom("SUDO_UID", uid)) return who;
  who.delegated = true;
  who.delegate = accountOf(static_cast<uid_t>(uid));
  if (idFrom("SUDO_GID", gid)) who.delegate.gid = static_cast<gid_t>(gid);
  const char *sudoUser = std::getenv("SUDO_USER");
  if (sudoUser != nullptr && *sudoUser != '\0' && who.delegate.name == std::to_string(uid))
    who.delegate.name = sudoUser;
  if (who.delegate.groups.empty()) who.delegate.groups.push_back(who.delegate.gid);
  if (who.delegate.home.empty()) who.delegate.home = "/";
  return who;
}

}  // namespace tl
