// edit: the operator's editor on a copy of the list, checked and installed as one change (the
// editing itself is in change/edit.cpp, beside the files it works on).
#include <memory>

#include "change/change.h"
#include "cli.h"
#include "command.h"

namespace tl {

Subcommand defineEdit(CLI::App &tool) {
  auto o = std::make_shared<ChangeOptions>();
  CLI::App *sub = listSubcommand(
      tool, "edit", "Edit FILE on a copy, checked and installed as one change", o->file);
  endChangeSubcommand(
      sub, *o, kEditing,
      "A copy that is not installed is kept and named. Through sudo the editor runs as the\n"
      "user who ran sudo ($SUDO_EDITOR, then $VISUAL, $EDITOR, editor, vi).");
  return {sub,
          [o](Voice &voice) -> int {
            const Outcome given = settleChange(*o);
            if (!given.ok()) return voice.end(given);
            return runEdit(*o, voice);
          },
          nullptr};
}

}  // namespace tl
