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
  return {sub, [values]() -> int {
            std::string line;
            Outcome o = values->line(line);
            if (o.kind == Outcome::Trouble) return usageError(o.message, false);
            if (!o.ok()) {
              printLine(stderr, "tolvane-list: refused: " + o.message);
              return o.exitStatus();
            }
            printLine(stdout, line);
            return kClean;
          }};
}

}  // namespace tl
