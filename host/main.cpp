// tolvane-host: loads a plug-in as the chat server does and plays a scenario against it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host.h"
#include "loader.h"
#include "numbers.h"
#include "scenario.h"
#include "terminal.h"
#include "text.h"

namespace {

// What --help says; the scenario's commands come from the table the parser reads.
std::string usageText() {
  return "usage: tolvane-host [--script FILE] [--id N] [--argc N] [--quiet] [--stats] "
         "[--keep-going]\n"
         "                    PLUGIN.so [ARG...]\n"
         "\n"
         "Loads PLUGIN.so as the chat server does, starts it with the argument vector\n"
         "{PLUGIN.so, ARG...} and plays a scenario from FILE, or from standard input.\n"
         "Prints a transcript of every call between host and plug-in on standard output.\n"
         "\n"
         "  --script FILE  read the scenario from FILE (default: standard input)\n"
         "  --id N         the plug-in id the host gives out (default: 1)\n"
         "  --argc N       pass only the first N elements of the argument vector\n"
         "  --quiet        print only notes, violations and the closing line\n"
         "  --stats        print the host's peak memory at the end\n"
         "  --keep-going   report bad scenario input and go on, as at a terminal (exit 2 at the "
         "end)\n"
         "  -h, --help     show this help\n"
         "  --version      print the version\n"
         "\n"
         "Scenario commands, one per line of at most 65536 bytes ('#' starts a comment; numbers\n"
         "are decimal or 0x-hex; $N in a path is plug-in argument N):\n" +
         host::syntaxLines("  ") +
         "At a terminal, lines can be edited and recalled, and help shows the commands.\n"
         "\n"
         "Exit status: 0 clean run, 1 the plug-in broke a rule of the host (violation: lines),\n"
         "2 bad usage, a plug-in that cannot be loaded, or bad scenario input (a scenario that\n"
         "cannot be read, a line too long, a command that does not parse or fails).\n";
}

int usage(const std::string &why) {
  std::fprintf(stderr, "tolvane-host: %s\n%s", why.c_str(), usageText().c_str());
  return 2;
}

struct Options {
  std::string script;
  int id = 1;
  int argc = -1;
  bool quiet = false;
  bool stats = false;
  bool keepGoing = false;
  std::vector<std::string> args;  // PLUGIN.so, ARG...
};

// Reads the options before PLUGIN.so; everything from PLUGIN.so on is the plug-in's.
bool parseOptions(int argc, char **argv, Options &o, std::string &err, bool &help, bool &version) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (!o.args.empty()) {
      o.args.push_back(a);
      continue;
    }
    if (a == "-h" || a == "--help") {
      help = true;
      return true;
    }
    if (a == "--version") {
      version = true;
      return true;
    }
    if (a == "--quiet" || a == "--stats" || a == "--keep-going") {
      (a == "--quiet" ? o.quiet : a == "--stats" ? o.stats : o.keepGoing) = true;
      continue;
    }
    if (a == "--script" || a == "--id" || a == "--argc") {
      if (i + 1 >= argc) {
        err = a + " needs a value";
        return false;
      }
      const std::string v = argv[++i];
      uint64_t n = 0;
      if (a == "--script") {
        o.script = v;
      } else if (!tvc::parseNumber(v, a == "--id" ? 0x7FFFFFFF : 1000, n)) {
        err = a + " takes a number, got " + host::quoted(v);
        return false;
      } else if (a == "--id") {
        o.id = static_cast<int>(n);
      } else {
        o.argc = static_cast<int>(n);
      }
      continue;
    }
    if (a.size() > 1 && a[0] == '-') {
      err = "unknown option " + host::quoted(a);
      return false;
    }
    o.args.push_back(a);
  }
  if (o.args.empty()) {
    err = "no plug-in given";
    return false;
  }
  if (o.argc > static_cast<int>(o.args.size())) {
    err = "--argc " + std::to_string(o.argc) + " is more than the " +
          std::to_string(o.args.size()) + " arguments given";
    return false;
  }
  return true;
}

// Plays the scenario that `reader` reads: reads each command, runs it, reports bad input (a
// scenario that cannot be read, a line too long, a command that does not parse or fails). Bad
// input stops the play with 2, unless `keepGoing` (at a terminal): then it is reported, and the
// play goes on as far as the scenario can be read. `prompt`: a plain prompt before each command.
// Returns 2 when any input was bad, else 0.
int play(host::ScenarioReader &reader, const std::string &file, bool prompt, bool keepGoing,
         host::Host &h) {
  bool bad = false;
  const auto report = [&](int at, const std::string &what) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s:%d: %s\n", host::shown(file).c_str(), at, what.c_str());
    bad = true;
    return keepGoing;
  };
  for (;;) {
    if (prompt) std::fputs("tolvane> ", stderr);
    host::Command cmd;
    std::string err;
    int at = 0;
    if (!reader.next(cmd, err, at)) break;
    if (!err.empty()) {
      h.echo(cmd);  // what was read of it
      if (!report(at, err)) return 2;
      continue;
    }
    if (!h.run(cmd, err) && !report(cmd.line, err)) return 2;
  }
  return bad ? 2 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  Options o;
  std::string err;
  bool help = false, version = false;
  if (!parseOptions(argc, argv, o, err, help, version)) return usage(err);
  if (help) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }
  if (version) {
    std::puts("tolvane-host " TOLVANE_VERSION);
    return 0;
  }
  int file = STDIN_FILENO;
  if (!o.script.empty()) {
    file = ::open(o.script.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
      std::fprintf(stderr, "tolvane-host: cannot read %s: %s\n", host::quoted(o.script).c_str(),
                   std::strerror(errno));
      return 2;
    }
  }
  host::Plugin plugin;
  if (!host::loadPlugin(o.args[0], plugin, err)) {
    std::fprintf(stderr, "tolvane-host: %s\n", err.c_str());
    return 2;
  }
  if (!o.quiet) std::printf("loaded %s\n", host::written(o.args[0]).c_str());
  host::Host h(stdout, o.id, o.quiet);
  h.start(plugin, o.args, o.argc >= 0 ? o.argc : static_cast<int>(o.args.size()));
  // At a terminal: line editing where standard error, the prompt's place, is one too, else the
  // plain prompt; either way bad input is reported and the play goes on.
  const bool interactive = o.script.empty() && isatty(STDIN_FILENO) != 0;
  const bool keepGoing = interactive || o.keepGoing;
  std::unique_ptr<host::Terminal> terminal;
  if (interactive && host::Terminal::usable()) terminal = std::make_unique<host::Terminal>();
  host::ScenarioReader reader =
      terminal ? host::ScenarioReader(*terminal) : host::ScenarioReader(file);
  const int rc =
      play(reader, o.script.empty() ? "<stdin>" : o.script, interactive && !terminal, keepGoing, h);
  if (interactive) std::fputc('\n', stderr);  // the input ended on the prompt's line
  if (rc != 0 && !keepGoing) return rc;
  h.finish(o.stats);
  if (rc != 0) return rc;
  std::fflush(stdout);
  if (h.violations() > 0) {
    std::fprintf(stderr, "tolvane-host: %d violation(s) of the host's rules\n", h.violations());
    return 1;
  }
  return 0;
}
