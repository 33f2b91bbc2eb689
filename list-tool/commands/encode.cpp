// encode: one list line for an administrator's values, checked by reading it back.
#include <cstdio>

#include "cli.h"
#include "command.h"
#include "content/text-out.h"

namespace tl {

Subcommand defineEncode(CLI::App &tool) {
  CLI::App *sub = tool.add_subcommand("encode", "Print the list line for these values");
  auto values = std::make_shared<RecordOptions>();
  values->add(sub, true);
  return {sub,
          [values](Voice &voice) -> int {
            std::string line;
            Outcome o = values->line(line);
            if (!o.ok()) return voice.end(o);
            voice.line(stdout, line, "line", line);
            return voice.end(done());
          },
          nullptr};
}

}  // namespace tl
