// The stand-in host's scenario reader on arbitrary text: every line parsed as a command, as a
// line of a write block and as a user name; nothing may crash or read out of bounds.
#include <cstdint>
#include <string>

#include "scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    host::Command cmd;
    std::string err, out;
    const bool ok = host::parseCommand(line, cmd, err);
    if (!ok && err.empty()) __builtin_trap();  // a refusal always says why
    if (ok && cmd.op == host::Op::User && cmd.user.nameBytes.size() > 31) __builtin_trap();
    host::decodeBlockLine(line, out, err);
    host::decodeName(line, out, err);
    start = end + 1;
  }
  return 0;
}
