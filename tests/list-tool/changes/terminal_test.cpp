// tolvane-list edit at a pseudo-terminal with real editors, as an operator works: keys typed,
// Ctrl-C and Ctrl-\ at the terminal, kill -TERM and kill -HUP from another terminal, and the
// questions the tool asks. Whatever comes, the list ends as it was or as the operator chose,
// the editor never outlives the tool, and an edit that is not installed is kept and named.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "edit-harness.h"

namespace {

using namespace harness;  // the tests' own folder, runs and terminal

// A step of the operator's: keys typed, text awaited, a signal sent to the tool, or a pause
// after which the tool must still be running (waiting for its editor).
struct Step {
  enum Op { Type, Expect, Signal, StillRuns } op;
  std::string text;
  int sig = 0;
};

Step type(const std::string &keys) {
  return {Step::Type, keys};
}
Step expect(const std::string &text) {
  return {Step::Expect, text};
}
Step send(int sig) {
  return {Step::Signal, "", sig};
}
Step stillRuns() {
  return {Step::StillRuns, ""};
}

// Plays the steps at the terminal; false (with what went wrong in `why`) when a step did not
// come as expected.
bool play(Terminal &t, const std::vector<Step> &steps, std::string &why) {
  for (const Step &s : steps) {
    switch (s.op) {
      case Step::Type:
        t.type(s.text);
        break;
      case Step::Expect:
        if (!t.expect(s.text)) {
          why = "never showed '" + s.text + "'";
          return false;
        }
        break;
      case Step::Signal:
        t.signal(s.sig);
        break;
      case Step::StillRuns:
        if (!t.runsAfter(0.5)) {
          why = "the tool ended while its editor ran";
          return false;
        }
        break;
    }
  }
  return true;
}

std::string added() {
  return kMended.substr(0, kMended.size() - 1);
}

// ed with a prompt, so that each command is known to be done before the next key.
const std::vector<std::pair<std::string, std::string>> kEd = {{"EDITOR", "ed -p 'ed> '"}};

// ed's steps: the record added and left in the buffer, not yet written.
std::vector<Step> edAdds() {
  return {expect(std::to_string(kGood.size())), expect("ed> "), type("$a\n" + added() + "\n.\n"),
          expect("ed> ")};
}

// Then written and quit.
std::vector<Step> edWritesAndQuits() {
  return {type("w\n"), expect(std::to_string(kGood.size() + kMended.size())), expect("ed> "),
          type("q\n")};
}

}  // namespace

TEST(AtATerminal, EndingSignalsWhileTheEditorRunsNeverLoseTheEdit) {
  const std::vector<std::pair<std::string, std::string>> vim = {
      {"EDITOR", "vim -u NONE -i NONE -n -N"}, {"TERM", "vt100"}, {"SHELL", "/bin/sh"}};
  std::vector<Step> vimRunsAShellCommand = {
      expect(std::to_string(kGood.size()) + "B"),
      type("Go" + added() + "\x1b"),
      type(":!sleep 30\r"),
      stillRuns(),
      type("\x03"),  // ends the sleep; vim goes on
      expect("Press ENTER"),
      type(":wq\r"),
  };
  struct Case {
    const char *what;
    std::vector<std::pair<std::string, std::string>> env;
    std::vector<Step> meanwhile;  // between adding the record and writing it
    int status;
    bool installed;  // else the list is as it was, and the edit kept and named
    std::string said;
  };
  const std::string stopped = "the tool was told to stop (SIG";
  const Case cases[] = {
      // The editor gets interrupt and quit; the tool ignores them and installs what was written.
      {"Ctrl-C in ed", kEd, {type("\x03"), expect("?"), stillRuns()}, 0, true, ""},
      {"Ctrl-\\ in ed", kEd, {type("\x1c"), stillRuns()}, 0, true, ""},
      // Terminate and hang-up wait for the editor, then keep the copy.
      {"kill -TERM while ed runs", kEd, {send(SIGTERM), stillRuns()}, 143, false, "TERM"},
      {"kill -HUP while ed runs", kEd, {send(SIGHUP), stillRuns()}, 129, false, "HUP"},
      // So does every other signal that would end the tool (sudo passes them on from whoever
      // ran it); a window's change of size ends nothing.
      {"kill -USR1 while ed runs", kEd, {send(SIGUSR1), stillRuns()}, 138, false, "USR1"},
      {"kill -USR2 while ed runs", kEd, {send(SIGUSR2), stillRuns()}, 140, false, "USR2"},
      {"kill -PIPE while ed runs", kEd, {send(SIGPIPE), stillRuns()}, 141, false, "PIPE"},
      {"kill -ALRM while ed runs", kEd, {send(SIGALRM), stillRuns()}, 142, false, "ALRM"},
      {"kill -WINCH while ed runs", kEd, {send(SIGWINCH), stillRuns()}, 0, true, ""},
  };
  for (const Case &c : cases) {
    Folder f;
    Terminal t(f.dir, c.env, {"edit", f.list});
    std::vector<Step> steps = edAdds();
    steps.insert(steps.end(), c.meanwhile.begin(), c.meanwhile.end());
    const std::vector<Step> end = edWritesAndQuits();
    steps.insert(steps.end(), end.begin(), end.end());
    std::string why;
    EXPECT_TRUE(play(t, steps, why)) << c.what << ": " << why << "\n" << t.screen();
    const Outcome r = t.finish();
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out;
    const std::vector<std::string> kept = f.strays();
    if (c.installed) {
      EXPECT_EQ(slurp(f.list), kGood + kMended) << c.what;
      EXPECT_TRUE(kept.empty()) << c.what;
      EXPECT_NE(r.out.find(f.list + ": changed: installed"), std::string::npos) << r.out;
      continue;
    }
    EXPECT_EQ(slurp(f.list), kGood) << c.what;
    ASSERT_EQ(kept.size(), 1u) << c.what << ": the edit is kept\n" << r.out;
    EXPECT_EQ(slurp(f.dir + "/" + kept[0]), kGood + kMended) << c.what;
    EXPECT_NE(r.out.find("tolvane-list: " + stopped + c.said +
                         ") while the editor ran: the list is unchanged; your edit is in " + f.dir +
                         "/" + kept[0] + "\r\n"),
              std::string::npos)
        << c.what << "\n"
        << r.out;
  }
  // vim running a shell command: Ctrl-C ends the command, and vim goes on to write and quit.
  Folder f;
  Terminal t(f.dir, vim, {"edit", f.list});
  std::string why;
  EXPECT_TRUE(play(t, vimRunsAShellCommand, why)) << why << "\n" << t.screen();
  const Outcome r = t.finish();
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(slurp(f.list), kGood + kMended);
  EXPECT_TRUE(f.strays().empty());
}

TEST(AtATerminal, AHangUpWaitsForTheEditorToSaveAndEnd) {
  // A hang-up comes two ways: the terminal goes (the editor reads the end of its input), or
  // the login shell, losing its connection, sends SIGHUP to the whole job.
  for (const bool toTheJob : {false, true}) {
    Folder f;
    // An editor that, hung up, takes a second to save the operator's work into the copy.
    const std::string editor = f.editor(
        "hup.sh",
        "save() { sleep 1; printf '# saved on hang-up\\n' >>\"$1\"; exit 0; }\n"
        "trap 'save \"$1\"' HUP\nprintf 'editing\\n'\nwhile read -r line; do :; done\nsave \"$1\"");
    Terminal t(f.dir, {{"EDITOR", editor}}, {"edit", f.list});
    ASSERT_TRUE(t.expect("editing")) << t.screen();
    if (toTheJob) {
      ASSERT_GT(t.pid(), 1);
      kill(-t.pid(), SIGHUP);  // the tool leads its own process group
    } else {
      t.hangUp();
    }
    const Outcome r = t.finish();
    EXPECT_EQ(r.status, 128 + SIGHUP) << toTheJob;
    EXPECT_EQ(slurp(f.list), kGood) << toTheJob;
    const std::vector<std::string> kept = f.strays();
    ASSERT_EQ(kept.size(), 1u) << toTheJob << ": the edit is kept";
    EXPECT_EQ(slurp(f.dir + "/" + kept[0]), kGood + "# saved on hang-up\n")
        << toTheJob << ": the tool ended after its editor";
    if (toTheJob) {
      EXPECT_NE(r.out.find("tolvane-list: the tool was told to stop (SIGHUP) while the editor "
                           "ran: the list is unchanged; your edit is in " +
                           f.dir + "/" + kept[0] + "\r\n"),
                std::string::npos)
          << r.out;
    }
  }
}

TEST(AtATerminal, AnEndingSignalAtTheQuestionKeepsTheEdit) {
  const struct {
    const char *what;
    Step step;
    int status;
  } cases[] = {
      {"Ctrl-C", type("\x03"), 128 + SIGINT},       {"kill -TERM", send(SIGTERM), 128 + SIGTERM},
      {"kill -HUP", send(SIGHUP), 128 + SIGHUP},    {"kill -USR1", send(SIGUSR1), 128 + SIGUSR1},
      {"kill -USR2", send(SIGUSR2), 128 + SIGUSR2}, {"kill -PIPE", send(SIGPIPE), 128 + SIGPIPE},
      {"kill -ALRM", send(SIGALRM), 128 + SIGALRM},
  };
  for (const auto &c : cases) {
    Folder f;
    const std::string editor = f.editor("bad.sh", "printf '%s' '" + kBad + "' >>\"$1\"");
    Terminal t(f.dir, {{"EDITOR", editor}}, {"edit", f.list});
    std::string why;
    EXPECT_TRUE(play(t, {expect("(i) install anyway: "), c.step}, why)) << c.what << ": " << why;
    const Outcome r = t.finish();
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), kGood) << c.what;
    const std::vector<std::string> kept = f.strays();
    ASSERT_EQ(kept.size(), 1u) << c.what << ": the edit is kept\n" << r.out;
    EXPECT_EQ(slurp(f.dir + "/" + kept[0]), kGood + kBad) << c.what;
    EXPECT_NE(r.out.find(f.list + ": the list is unchanged; your edit is in " + f.dir + "/" +
                         kept[0] + "\r\n"),
              std::string::npos)
        << c.what << "\n"
        << r.out;
  }
}

TEST(AtATerminal, AnEmptiedCopyIsInstalledOnlyOnAnExplicitYes) {
  const std::string question =
      ": the new list gives no record: the plug-in will recognise nobody. Install it? (y) "
      "yes, (e) edit again, (n) no: ";
  const struct {
    std::string answers;
    int status;
    std::string content;
    size_t kept;
  } cases[] = {
      {"y\n", 0, "", 0},                   // yes: installed, empty
      {"n\n", 1, kGood, 1},                // no: the list as it was, the copy kept
      {"\n", 1, kGood, 1},                 // no answer is not a yes: asked again, then no
      {"e\n", 0, kGood + kMended, 0},      // edit again: the second edit installs
      {"yes please\n", 0, "", 0},          // the first letter answers
      {std::string("\x04"), 1, kGood, 1},  // the end of input is a no
  };
  for (const auto &c : cases) {
    Folder f;
    // Empties the copy, or, given an empty one, writes two records.
    const std::string editor =
        f.editor("empty.sh", "if [ -s \"$1\" ]; then : >\"$1\"; else printf '%s%s' '" + kGood +
                                 "' '" + kMended + "' >\"$1\"; fi");
    Terminal t(f.dir, {{"EDITOR", editor}}, {"edit", f.list});
    std::string why;
    std::vector<Step> steps = {expect(f.list + question), type(c.answers)};
    if (c.answers == "\n") {
      steps.push_back(expect(f.list + question));
      steps.push_back(type("n\n"));
    }
    EXPECT_TRUE(play(t, steps, why)) << c.answers << ": " << why << "\n" << t.screen();
    const Outcome r = t.finish();
    EXPECT_EQ(r.status, c.status) << c.answers << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), c.content) << c.answers;
    const std::vector<std::string> kept = f.strays();
    ASSERT_EQ(kept.size(), c.kept) << c.answers << "\n" << r.out;
    if (c.kept == 0) continue;
    EXPECT_EQ(slurp(f.dir + "/" + kept[0]), "") << "the emptied copy is kept";
    EXPECT_NE(r.out.find(f.list +
                         ": error: the new list gives no record: the plug-in will recognise "
                         "nobody (give --allow-empty to install it anyway) [no-records]\r\n" +
                         f.list + ": your edit is in " + f.dir + "/" + kept[0] + "\r\n"),
              std::string::npos)
        << c.answers << "\n"
        << r.out;
  }
}

// Every question a change asks answers Ctrl-C alike: the list as it was, said, the operator's
// edit kept and named, and the tool ended by the interrupt.
TEST(AtATerminal, EveryQuestionAnswersCtrlCAlike) {
  const std::string emptied = "if [ -s \"$1\" ]; then : >\"$1\"; fi";
  const struct {
    const char *what;
    std::vector<std::string> args;  // after the tool's name; the list added for edit
    std::string editor;             // the editor's script, for edit
    std::string question;           // the question's end
    std::string copy;               // what the kept copy holds ("" for no copy)
  } cases[] = {
      {"edit: what now?",
       {"edit"},
       "printf '%s' '" + kBad + "' >>\"$1\"",
       "(i) install anyway: ",
       kGood + kBad},
      {"edit: install a list that recognises nobody?",
       {"edit"},
       emptied,
       "Install it? (y) yes, (e) edit again, (n) no: ",
       ""},
      {"remove: install a list that recognises nobody?",
       {"remove", "", "1"},
       "",
       "Install it? (y) yes, (n) no: ",
       ""},
  };
  for (const auto &c : cases) {
    Folder f;
    std::vector<std::string> args = c.args;
    if (args.size() == 1) args.push_back(f.list);
    if (args.size() > 1 && args[1].empty()) args[1] = f.list;
    std::vector<std::pair<std::string, std::string>> env;
    if (!c.editor.empty()) env.emplace_back("EDITOR", f.editor("ed.sh", c.editor));
    Terminal t(f.dir, env, args);
    std::string why;
    EXPECT_TRUE(play(t, {expect(c.question), type("\x03")}, why)) << c.what << ": " << why;
    const Outcome r = t.finish();
    EXPECT_EQ(r.status, 128 + SIGINT) << c.what << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), kGood) << c.what;
    const std::vector<std::string> kept = f.strays();
    if (c.editor.empty()) {
      EXPECT_TRUE(kept.empty()) << c.what;
      EXPECT_NE(r.out.find(c.question + "^C" + f.list + ": the list is unchanged\r\n"),
                std::string::npos)
          << c.what << "\n"
          << r.out;
      continue;
    }
    ASSERT_EQ(kept.size(), 1u) << c.what << ": the edit is kept\n" << r.out;
    EXPECT_EQ(slurp(f.dir + "/" + kept[0]), c.copy) << c.what;
    EXPECT_NE(r.out.find(c.question + "^C" + f.list + ": the list is unchanged; your edit is in " +
                         f.dir + "/" + kept[0] + "\r\n"),
              std::string::npos)
        << c.what << "\n"
        << r.out;
  }
}

// "(e) edit again" opens the copy at the line of the first error where the editor is one known
// to take +LINE before the file (vim, nano, emacs, by the program's own name); any other editor
// opens it as the first time.
TEST(AtATerminal, EditAgainOpensTheEditorAtTheFirstError) {
  char name[] = "/tmp/tolvane-editors-XXXXXX";
  const std::string editors = mkdtemp(name) != nullptr ? name : "";
  ASSERT_FALSE(editors.empty());
  const struct {
    const char *program;
    bool atLine;
  } cases[] = {{"vim", true}, {"nano", true}, {"emacs", true}, {"my-editor", false}};
  for (const auto &c : cases) {
    Folder f;
    // The first run brings an error in at line 2; the second mends it. Each run notes its
    // arguments.
    const std::string calls = editors + "/" + c.program + ".calls";
    const std::string program = editors + "/" + c.program;
    spill(program, "#!/bin/sh\nprintf '%s\\n' \"$*\" >>'" + calls +
                       "'\nfor copy; do :; done\n"
                       "if grep -q 'lower case' \"$copy\"; then printf '%s%s' '" +
                       kGood + "' '" + kMended + "' >\"$copy\"; else printf '%s' '" + kBad +
                       "' >>\"$copy\"; fi");
    chmod(program.c_str(), 0755);
    Terminal t(f.dir, {{"EDITOR", program}}, {"edit", f.list});
    std::string why;
    EXPECT_TRUE(play(t, {expect("(i) install anyway: "), type("e\n")}, why))
        << c.program << ": " << why << "\n"
        << t.screen();
    const Outcome r = t.finish();
    EXPECT_EQ(r.status, 0) << c.program << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), kGood + kMended) << c.program;
    const std::string said = slurp(calls);
    const size_t end = said.find('\n');
    ASSERT_NE(end, std::string::npos) << c.program << ": " << said;
    const std::string copy = said.substr(0, end);
    EXPECT_EQ(said, copy + "\n" + (c.atLine ? "+2 " : "") + copy + "\n") << c.program;
  }
  std::system(("rm -rf '" + editors + "'").c_str());  // NOLINT(cert-env33-c)
}

// undo puts a whole list in place: at a terminal it shows what changes first, and installs only
// on a yes; the changes are not shown again once installed.
TEST(AtATerminal, UndoShowsWhatChangesAndInstallsOnlyOnAYes) {
  const struct {
    std::string answers;
    int status;
    bool installed;
  } cases[] = {
      {"y\n", 0, true},
      {"n\n", 1, false},
      {"\n", 1, false},                 // no answer is not a yes: asked again, then no
      {std::string("\x04"), 1, false},  // the end of input is a no
  };
  for (const auto &c : cases) {
    Folder f;
    f.changedFrom(kGood + kMended);
    const std::string shown = "+ " + f.list +
                              ":2: slot 2: registration seed 54, PUID seed any, 10.9.0.0 to "
                              "10.9.255.255   # mended\r\n";
    const std::string question = f.list + ": Install this change? (y) yes, (n) no: ";
    Terminal t(f.dir, {}, {"undo", f.list});
    std::string why;
    std::vector<Step> steps = {expect(shown), expect(question), type(c.answers)};
    if (c.answers == "\n") {
      steps.push_back(expect(question));
      steps.push_back(type("n\n"));
    }
    EXPECT_TRUE(play(t, steps, why)) << c.answers << ": " << why << "\n" << t.screen();
    const Outcome r = t.finish();
    EXPECT_EQ(r.status, c.status) << c.answers << "\n" << r.out;
    EXPECT_EQ(slurp(f.list), c.installed ? kGood + kMended : kGood) << c.answers;
    EXPECT_EQ(slurp(f.list + "-"), c.installed ? kGood : kGood + kMended) << c.answers;
    EXPECT_EQ(r.out.find(shown), r.out.rfind(shown)) << "shown once\n" << r.out;
    const std::string end =
        c.installed ? f.list + ": changed: installed (the previous version is " + f.list + "-)\r\n"
                    : f.list +
                          ": error: the change was not confirmed: nothing written "
                          "[not-confirmed]\r\n";
    EXPECT_NE(r.out.find(end), std::string::npos) << c.answers << "\n" << r.out;
    EXPECT_TRUE(f.strays().empty()) << c.answers;
  }
}

// An undo to a previous version that gives no record asks once, saying so.
TEST(AtATerminal, UndoToAnEmptyListSaysItRecognisesNobody) {
  for (const bool yes : {true, false}) {
    Folder f;
    f.changedFrom("# nobody yet\n");
    Terminal t(f.dir, {}, {"undo", f.list});
    std::string why;
    EXPECT_TRUE(
        play(t,
             {expect("- " + f.list + " (before):1: slot 1: registration seed 53"),
              expect(f.list + ": the new list gives no record: the plug-in will recognise nobody. "
                              "Install it? (y) yes, (n) no: "),
              type(yes ? "y\n" : "n\n")},
             why))
        << why << "\n"
        << t.screen();
    const Outcome r = t.finish();
    EXPECT_EQ(r.status, yes ? 0 : 1) << r.out;
    EXPECT_EQ(slurp(f.list), yes ? "# nobody yet\n" : kGood);
    if (!yes) {
      EXPECT_NE(
          r.out.find(f.list + ": error: the new list gives no record: the plug-in will recognise "
                              "nobody (give --allow-empty to install it anyway) [no-records]\r\n"),
          std::string::npos)
          << r.out;
    }
  }
}
