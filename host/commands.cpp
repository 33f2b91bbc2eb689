#include "commands.h"

namespace host {

const std::vector<CommandInfo> &commands() {
  static const std::vector<CommandInfo> kCommands = {
      {"user", Op::User, 1, true, false,
       "user NAME [crc=N] [counter=N] [puidctr=N] [puidcrc=N] [ip=A.B.C.D] [flags=N] [len=N]",
       "Creates a user record, not logged on, and calls noteUserCreation. NAME\n"
       "holds at most 31 characters and takes the escapes \\xHH and \\\\; the\n"
       "options give the registration values (crc, counter), the PUID values\n"
       "(puidctr, puidcrc), the address, the status mask (flags) and another\n"
       "length byte than the name's (len). Numbers are decimal or 0x-hex."},
      {"logon", Op::Logon, 1, false, false, "logon NAME", "Sets the user's loggedOn."},
      {"enter", Op::Enter, 2, false, false, "enter NAME ROOM",
       "Calls noteUserRoomEntry for the user and the room (made at its first use)."},
      {"delete", Op::Delete, 1, false, false, "delete NAME",
       "Calls noteUserDeletion, then frees the record: the name can be used again."},
      {"wait", Op::Wait, 1, false, false, "wait N",
       "Advances the clock by N host time units and runs each timer event that\n"
       "falls due, in due order; wait 0 runs what is due now."},
      {"show", Op::Show, 1, false, false, "show NAME",
       "Prints the user's status mask (flags: 0x0003 for a host administrator\n"
       "the plug-in recognised) and its first reserved byte (Tolvane's: 0 not\n"
       "examined yet, 1 examined, 2 recognised; 205 when the plug-in never set it)."},
      {"write", Op::Write, 1, false, false, "write PATH ... end",
       "Writes the lines that follow, up to a line end, to PATH, each ending in a\n"
       "newline; in them \\r, \\n, \\t, \\xHH and \\\\ are escapes, and a final \\c\n"
       "drops the newline. $1 in PATH is the plug-in's first argument (the list)."},
      {"remove", Op::Remove, 1, false, false, "remove PATH",
       "Removes the file PATH ($N: plug-in argument N)."},
      {"rename", Op::Rename, 2, false, false, "rename FROM TO",
       "Renames the file FROM to TO ($N: plug-in argument N)."},
      {"note", Op::Note, 0, false, true, "note TEXT",
       "Prints -- TEXT in the transcript, however quiet (up to a #, which starts a\n"
       "comment here too)."},
      {"churn", Op::Churn, 1, true, false,
       "churn N [every=K] [crc=N] [counter=N] [puidctr=N] [puidcrc=N] [ip=A.B.C.D] [flags=N]",
       "Creates N users one after another, named churn0 on, each with the fields\n"
       "the options give (as user takes them), logs each on, enters it into a\n"
       "room and deletes it; the clock moves on by 150 every K users (1000)."},
  };
  return kCommands;
}

const CommandInfo *findCommand(const std::string &name) {
  for (const CommandInfo &c : commands()) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

std::string commandNames() {
  std::string out;
  for (const CommandInfo &c : commands()) out += (out.empty() ? "" : ", ") + std::string(c.name);
  return out;
}

std::string syntaxLines(const std::string &indent) {
  std::string out;
  for (const CommandInfo &c : commands()) out += indent + c.syntax + "\n";
  return out;
}

}  // namespace host
