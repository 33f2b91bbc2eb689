// The journal as a file: grown past the size it is rotated at, the next change makes it anew from
// what still counts (the rotated one kept as .NAME.journal.1), and nothing that counted is lost:
// the last change's previous version, the lines still due to the log, the copies kept that are
// still there, every change in history. A last line torn by a crash is no entry: check and
// history pass over it, and the next change cuts it off before it writes its own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "build-paths.h"
#include "file-bytes.h"
#include "launch.h"
#include "private-log.h"

namespace {

const std::string kTool = launched(TOLVANE_LIST);
// The tool where there is no system log at all.
const std::string kNoLog =
    std::string(TOLVANE_LAUNCH) + " " + TOLVANE_PRIVATE_LOG_PROGRAM + " --no-log " + kTool;
constexpr size_t kRotateAt = size_t{512} * 1024;  // the size a journal is rotated at
constexpr const char *kPriority = "<85>";         // authpriv.notice

const std::string kBefore =
    "{FA} {} \"10.1.*.*\"   # Ada\n"
    "{GA} {} \"10.2.*.*\"   # Bob\n";

// A folder of the test's own holding a list; removed at the end.
struct Folder {
  std::string dir, list, journal;
  Folder() {
    char name[] = "/tmp/tolvane-journal-XXXXXX";
    dir = mkdtemp(name) != nullptr ? name : "";
    list = dir + "/admins.list";
    journal = dir + "/.admins.list.journal";
    std::ofstream(list, std::ios::binary) << kBefore;
    // An editor whose copy gets a line with an error: the edit is refused, its copy kept.
    std::ofstream(dir + "/bad.sh") << "#!/bin/sh\nprintf '{fa} {} \"10.9.*.*\"\\n' >>\"$1\"\n";
    chmod((dir + "/bad.sh").c_str(), 0755);
  }
  ~Folder() { std::system(("rm -rf '" + dir + "'").c_str()); }  // NOLINT(cert-env33-c)
  Folder(const Folder &) = delete;
  Folder &operator=(const Folder &) = delete;
  // The tool (`tool`: kTool or kNoLog) on the list, in its folder.
  Logged run(const std::string &tool, const std::string &args) const {
    return logged("cd '" + dir + "' && " + tool + " " + args);
  }
};

// The entries of a journal file, one JSON object a line (a line that is not one is null).
std::vector<nlohmann::json> entriesOf(const std::string &path) {
  std::vector<nlohmann::json> out;
  std::istringstream lines(slurp(path));
  for (std::string line; std::getline(lines, line);)
    out.push_back(nlohmann::json::parse(line, nullptr, false));
  return out;
}

// "KIND ID" of each entry (a state entry's carried ones after it, each as "  KIND ID").
std::vector<std::string> kindsAndIds(const std::vector<nlohmann::json> &entries) {
  std::vector<std::string> out;
  for (const nlohmann::json &e : entries) {
    if (!e.is_object()) {
      out.emplace_back("?");
      continue;
    }
    out.push_back(e.value("kind", "?") + " " + e.value("id", ""));
    if (e.contains("carried")) {
      for (const nlohmann::json &c : e["carried"])
        out.push_back("  " + c.value("kind", "?") + " " + c.value("id", ""));
    }
  }
  return out;
}

// The id of the change whose install entry adds the record of registration seed `seed`, or "".
std::string changeAdding(const std::vector<nlohmann::json> &entries, unsigned seed) {
  for (const nlohmann::json &e : entries) {
    if (!e.is_object() || e.value("kind", "") != "install") continue;
    for (const nlohmann::json &c : e["changes"]) {
      if (c["record"]["rSeed"] == seed) return e["id"];
    }
  }
  return "";
}

// The end entry of the n-th (0 on) change that kept a copy (null for none).
const nlohmann::json &keptBy(const std::vector<nlohmann::json> &entries, size_t n) {
  static const nlohmann::json none;
  for (const nlohmann::json &e : entries) {
    if (e.is_object() && e.value("kind", "") == "end" && e.contains("kept") && n-- == 0) return e;
  }
  return none;
}

// The first group of `pattern` in each line of `output` where it is found, in order.
std::vector<std::string> captured(const std::string &output, const std::regex &pattern) {
  std::vector<std::string> out;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, pattern)) out.push_back(m[1]);
  }
  return out;
}

// The codes of check's findings about the journal and the files beside the list, in order.
std::vector<std::string> findingCodes(const std::string &output) {
  return captured(output, std::regex(R"(^admins\.list: (?:warning|error): .*\[([a-z-]+)\]$)"));
}

// The change ids of history's items, newest first.
std::vector<std::string> historyIds(const std::string &output) {
  return captured(output, std::regex(R"(^\S+  \S+ by root, change (\S+): )"));
}

// The line of history's item of change `id`.
std::string historyLine(const std::string &output, const std::string &id) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(", change " + id + ": ") != std::string::npos) return line;
  }
  return "";
}

}  // namespace

// A journal grown past 512 KiB (changes of the tool, then entries that change nothing: late lines
// of changes it never held) is rotated by the next change that writes an entry: .NAME.journal.1
// is the journal as it was, byte for byte, and the new one starts with a state entry carrying the
// last change (its line still due), and the copy kept that is still there, never the one removed.
// After it undo takes the version that change replaced, history shows each change once, check
// names what it named before, and the line due is sent late by the next change that can log.
TEST(JournalFile, AGrownJournalIsRotatedAndWhatCountedStillCounts) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  Folder f;
  Logged r = f.run(kTool, "add admins.list --rseed 6 --addr 10.6.6.6");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string afterAdd = slurp(f.list);
  for (int i = 0; i < 2; ++i) {
    r = f.run("EDITOR=" + f.dir + "/bad.sh " + kTool, "edit admins.list");
    ASSERT_EQ(r.status, 1) << r.output;
  }
  // A change made where no system log takes its line: root's is made, its line due.
  r = f.run(kNoLog, "add admins.list --rseed 8 --addr 10.8.8.8");
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_NE(r.output.find("admins.list: not logged: no system log at /dev/log\n"),
            std::string::npos)
      << r.output;
  const std::vector<nlohmann::json> made = entriesOf(f.journal);
  const std::string added = changeAdding(made, 6), unlogged = changeAdding(made, 8);
  const nlohmann::json &kept = keptBy(made, 0), &removed = keptBy(made, 1);
  ASSERT_FALSE(added.empty());
  ASSERT_FALSE(unlogged.empty());
  ASSERT_TRUE(kept.is_object() && removed.is_object()) << slurp(f.journal);
  const std::string keptPath = kept["kept"]["path"], removedPath = removed["kept"]["path"];
  const std::string keptId = kept["id"], removedId = removed["id"];
  ASSERT_EQ(slurp(keptPath), afterAdd + "{fa} {} \"10.9.*.*\"\n");
  ASSERT_EQ(std::remove(removedPath.c_str()), 0) << removedPath;

  // Grown past the size it is rotated at.
  {
    std::ofstream journal(f.journal, std::ios::binary | std::ios::app);
    const std::string pad(900, 'x');
    for (int i = 0; journal.tellp() < static_cast<std::streamoff>(kRotateAt); ++i) {
      journal << R"({"v":1,"kind":"logged","at":"2026-01-02T03:04:05Z","id":"never-)" << i << "-"
              << pad << R"(","writer":"20260102T030405Z-Ab3dEf"})"
              << "\n";
    }
  }
  const std::string full = slurp(f.journal);
  ASSERT_GE(full.size(), kRotateAt);

  // An edit that changes nothing, where there is no log: its first entry rotates the journal.
  r = f.run("EDITOR=true " + kNoLog, "edit admins.list");
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_NE(r.output.find("admins.list: unchanged: "), std::string::npos) << r.output;
  EXPECT_EQ(slurp(f.journal + ".1"), full) << "the rotated journal is the journal as it was";
  const std::vector<nlohmann::json> now = entriesOf(f.journal);
  ASSERT_EQ(now.size(), 3u) << slurp(f.journal);
  const std::string edit = now[1].value("id", "");
  EXPECT_EQ(kindsAndIds(now),
            (std::vector<std::string>{"state ", "  end " + keptId, "  install " + unlogged,
                                      "  end " + unlogged, "start " + edit, "end " + edit}));
  EXPECT_EQ(now[0]["carried"][0]["kept"]["path"], keptPath);
  EXPECT_EQ(now[0]["carried"][2]["logged"], false);
  EXPECT_EQ(now[2]["result"], "unchanged");
  struct stat st {};
  ASSERT_EQ(stat(f.journal.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // check names the line due and the copy still there; nothing else.
  r = f.run(kTool, "check admins.list");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(findingCodes(r.output), (std::vector<std::string>{"not-logged", "kept-copy"}))
      << r.output;
  EXPECT_NE(r.output.find("admins.list: warning: change " + unlogged), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("admins.list: warning: " + keptPath + ", written "), std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find(removedPath + ","), std::string::npos) << r.output;

  // history: every change once, from the rotated journal and the new one.
  r = f.run(kTool, "history admins.list");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(historyIds(r.output), (std::vector<std::string>{unlogged, removedId, keptId, added}))
      << r.output;
  EXPECT_NE(r.output.find("admins.list: 4 changes and 0 outside changes in its journal (" +
                          f.journal + "), newest first\n"),
            std::string::npos)
      << r.output;
  EXPECT_NE(historyLine(r.output, unlogged).find(": installed; not on record in the system log"),
            std::string::npos)
      << r.output;

  // undo, where the log takes lines: the line due goes first, sent late; then the undo puts back
  // the version the last change replaced.
  r = f.run(kTool, "undo admins.list");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string head = std::string(kPriority) + "\"" + f.list + "\": ";
  EXPECT_EQ(r.log, (std::vector<std::string>{
                       head + "add by root: logged late (change " + unlogged + " of " +
                           made.back()["at"].get<std::string>() +
                           "): installed: + line 4 slot 4 (registration seed 8, PUID seed any, "
                           "10.8.8.8 to 10.8.8.8)",
                       head + "undo by root: installed: - line 4 slot 4 (registration seed 8, "
                              "PUID seed any, 10.8.8.8 to 10.8.8.8)"}))
      << r.output;
  EXPECT_EQ(slurp(f.list), afterAdd);

  r = f.run(kTool, "check admins.list");
  EXPECT_EQ(findingCodes(r.output), std::vector<std::string>{"kept-copy"}) << r.output;
  r = f.run(kTool, "history admins.list");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<std::string> ids = historyIds(r.output);
  ASSERT_EQ(ids.size(), 5u) << r.output;
  EXPECT_EQ(std::vector<std::string>(ids.begin() + 1, ids.end()),
            (std::vector<std::string>{unlogged, removedId, keptId, added}))
      << r.output;
  EXPECT_NE(historyLine(r.output, unlogged)
                .find(": installed; on record late (by change " + ids[0] + ", "),
            std::string::npos)
      << r.output;
}

// A crash in the middle of writing an entry leaves a last line without its newline: it is no
// entry. check and history read the journal without it; the next change cuts it off, and its own
// entries follow the whole ones.
TEST(JournalFile, ATornLastLineIsNoEntryAndTheNextChangeCutsItOff) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root";
  Folder f;
  Logged r = f.run(kTool, "add admins.list --rseed 6 --addr 10.6.6.6");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string whole = slurp(f.journal);
  ASSERT_EQ(entriesOf(f.journal).size(), 2u);
  const std::string added = changeAdding(entriesOf(f.journal), 6);
  // Half of an entry like the first, as a write cut short leaves it.
  const std::string torn = whole.substr(0, whole.find('\n') / 2);
  std::ofstream(f.journal, std::ios::binary | std::ios::app) << torn;

  r = f.run(kTool, "check admins.list");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(findingCodes(r.output), std::vector<std::string>{}) << r.output;
  r = f.run(kTool, "history admins.list");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(historyIds(r.output), std::vector<std::string>{added}) << r.output;

  r = f.run(kTool, "add admins.list --rseed 7 --addr 10.7.7.7");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.log, std::vector<std::string>{std::string(kPriority) + "\"" + f.list +
                                            "\": add by root: installed: + line 4 slot 4 "
                                            "(registration seed 7, PUID seed any, 10.7.7.7 to "
                                            "10.7.7.7)"})
      << r.output;
  const std::string after = slurp(f.journal);
  EXPECT_EQ(after.compare(0, whole.size(), whole), 0) << after;
  const std::vector<nlohmann::json> entries = entriesOf(f.journal);
  const std::string second = changeAdding(entries, 7);
  EXPECT_EQ(kindsAndIds(entries), (std::vector<std::string>{"install " + added, "end " + added,
                                                            "install " + second, "end " + second}))
      << after;
  EXPECT_EQ(after.back(), '\n');

  r = f.run(kTool, "check admins.list");
  EXPECT_EQ(r.status, 0) << r.output;
  r = f.run(kTool, "history admins.list");
  EXPECT_EQ(historyIds(r.output), (std::vector<std::string>{second, added})) << r.output;
}
