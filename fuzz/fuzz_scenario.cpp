// The stand-in host plays arbitrary scenarios against the real plug-in: the scenario reader
// turns the input into whole commands (a `write` with its block), and the host runs each. The
// plug-in must never break a rule of the host, whatever the users, names, list contents and timers,
// and nothing may crash. Paths stay inside a scratch folder, and waits and churns are capped so
// that every input runs quickly.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host.h"
#include "loader.h"
#include "scenario.h"
#include "scratch.h"

namespace {

constexpr uint32_t kMostWait = 3000;  // 20 reloads
constexpr uint32_t kMostChurn = 40;

// A path the scenario may touch: a plain name in the scratch folder, or `$1`, the list.
bool safePath(const std::string &p) {
  if (p.empty() || p[0] == '.' || p[0] == '-') return false;
  for (char c : p) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '$' || c == '-' || c == '.';
    if (!plain) return false;
  }
  return true;
}

// The plug-in, loaded once; the process works in the scratch folder from then on.
const host::Plugin &plugin() {
  static const host::Plugin loaded = [] {
    host::Plugin p;
    std::string err;
    if (!host::loadPlugin(TOLVANE_PLUGIN, p, err) || chdir(fuzz::scratchDir().c_str()) != 0) {
      std::fprintf(stderr, "fuzz-scenario: %s\n", err.c_str());
      std::abort();
    }
    return p;
  }();
  return loaded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FILE *devnull = std::fopen("/dev/null", "w");
  const host::Plugin &p = plugin();
  std::remove("admins.list");
  host::Host h(devnull, 1, false);
  h.start(p, {"tolvane.so", "admins.list"}, 2);
  std::string err;
  host::Command cmd;
  host::parseCommand("wait 0", cmd, err);
  h.run(cmd, err);  // the table left by an earlier input is emptied
  host::ScenarioReader reader(std::string(reinterpret_cast<const char *>(data), size));
  int at = 0;
  while (reader.next(cmd, err, at)) {
    if (!err.empty() || cmd.op == host::Op::None) continue;
    if (cmd.op == host::Op::User && cmd.user.nameBytes.size() > 31) __builtin_trap();
    bool safe = true;
    if (cmd.op == host::Op::Write || cmd.op == host::Op::Remove || cmd.op == host::Op::Rename) {
      for (const std::string &a : cmd.args) safe = safe && safePath(a);
    }
    if (!safe) continue;
    if (cmd.op == host::Op::Wait && cmd.amount > kMostWait) cmd.amount = kMostWait;
    if (cmd.op == host::Op::Churn && cmd.amount > kMostChurn) cmd.amount = kMostChurn;
    h.run(cmd, err);
  }
  h.finish(false);
  if (h.violations() != 0) __builtin_trap();  // the real plug-in keeps every rule of the host
  return 0;
}
