// encode: one list line for an administrator's values, checked by reading it back.
#include <cstdio>

#include "command.h"
#include "exit-status.h"
#include "record-options.h"
#include "safe-text.h"

namespace tl {

Subcommand defineEncode(CLI::App &tool) {
  CLI::App *sub = tool.add_subcommand("encode", "Print the list line for these values");
  auto values = std::make_shared<RecordOptions>();
  values->add(sub, true);
  return {sub, [values]() -> int {
            std::string line, why;
            if (!values->line(line, why)) {
              printLine(stderr, "tolvane-list: refused: " + why);
              return kFindings;
            }
            printLine(stdout, line);
            return kClean;
          }};
}

}  // namespace tl
