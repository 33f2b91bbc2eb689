// The scenario language: words separated by blanks, '#' starts a comment.
#include "scenario.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "numbers.h"
#include "text.h"

namespace host {
namespace {

// Decodes escapes; `extra` lists the letters allowed besides \\ and \xHH. A \c that ends the
// text, where `extra` allows it, sets `noNewline`.
bool decode(const std::string &in, const char *extra, std::string &out, std::string &err,
            bool *noNewline = nullptr) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out += in[i];
      continue;
    }
    if (i + 1 >= in.size()) {
      err = "a lone '\\' at the end";
      return false;
    }
    const char e = in[++i];
    if (e == '\\') {
      out += '\\';
    } else if (e == 'x') {
      const int hi = i + 1 < in.size() ? tvc::hexValue(in[i + 1]) : -1;
      const int lo = i + 2 < in.size() ? tvc::hexValue(in[i + 2]) : -1;
      if (hi < 0 || lo < 0) {
        err = "'\\x' needs two hexadecimal digits";
        return false;
      }
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else if (e == 'c' && noNewline != nullptr && i + 1 == in.size()) {
      *noNewline = true;
    } else if (std::strchr(extra, e) != nullptr && e != '\0') {
      out += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
    } else {
      err = "unknown escape '\\" + shown(std::string(1, e)) + "'";
      return false;
    }
  }
  return true;
}

// Applies one key=value option of `user`.
bool userOption(const std::string &w, UserSpec &u, std::string &err) {
  const size_t eq = w.find('=');
  if (eq == std::string::npos) {
    err = "unexpected word " + quoted(w) + " (options are key=value)";
    return false;
  }
  const std::string key = w.substr(0, eq);
  const std::string val = w.substr(eq + 1);
  uint64_t n = 0;
  if (key == "ip") {
    if (!tvc::parseAddress(val, u.ip)) {
      err = quoted(w) + " is not an address A.B.C.D";
      return false;
    }
    return true;
  }
  struct Field {
    const char *key;
    uint64_t max;
  };
  static const Field kFields[] = {{"crc", 0xFFFFFFFFu},     {"counter", 0xFFFFFFFFu},
                                  {"puidctr", 0xFFFFFFFFu}, {"puidcrc", 0xFFFFFFFFu},
                                  {"flags", 0xFFFFu},       {"len", 0xFFu}};
  for (const Field &f : kFields) {
    if (key != f.key) continue;
    if (!tvc::parseNumber(val, f.max, n)) {
      err = quoted(w) + " is not a number from 0 to " + std::to_string(f.max);
      return false;
    }
    if (key == "crc") u.crc = static_cast<uint32_t>(n);
    if (key == "counter") u.counter = static_cast<uint32_t>(n);
    if (key == "puidctr") u.puidCtr = static_cast<uint32_t>(n);
    if (key == "puidcrc") u.puidCRC = static_cast<uint32_t>(n);
    if (key == "flags") u.flags = static_cast<uint16_t>(n);
    if (key == "len") u.lenByte = static_cast<int>(n);
    return true;
  }
  err = "unknown option " + quoted(key) + " (crc, counter, puidctr, puidcrc, ip, flags, len)";
  return false;
}

// The message for a line longer than kLineMax, of which `text` holds the first kLineMax bytes.
std::string lineTooLong(const std::string &text) {
  return "the line is longer than the " + std::to_string(kLineMax) +
         " bytes a scenario line may hold; it begins " + quoted(text.substr(0, kWordShown)) + "...";
}

}  // namespace

std::vector<std::string> words(const std::string &line) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : line) {
    if (c == '#') break;
    if (c == ' ' || c == '\t' || c == '\r') {
      if (!cur.empty()) out.push_back(cur), cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

bool decodeBlockLine(const std::string &line, std::string &out, std::string &err) {
  bool noNewline = false;
  if (!decode(line, "rnt", out, err, &noNewline)) return false;
  if (!noNewline) out += '\n';
  return true;
}

bool decodeName(const std::string &word, std::string &out, std::string &err) {
  return decode(word, "", out, err);
}

bool parseCommand(const std::string &line, Command &cmd, std::string &err) {
  cmd = Command{};
  std::vector<std::string> w = words(line);
  if (w.empty()) return true;
  cmd.echo = line.substr(0, line.find('#'));
  while (!cmd.echo.empty() &&
         (cmd.echo.back() == ' ' || cmd.echo.back() == '\t' || cmd.echo.back() == '\r'))
    cmd.echo.pop_back();
  const CommandInfo *op = findCommand(w[0]);
  if (op == nullptr) {
    err = "unknown command " + quoted(w[0]) + " (" + commandNames() + ")";
    return false;
  }
  cmd.op = op->op;
  if (op->text) {  // the rest of the line up to a comment, as written
    const size_t at = cmd.echo.find(op->name) + w[0].size();
    const size_t from = cmd.echo.find_first_not_of(" \t", at);
    cmd.args.push_back(from == std::string::npos ? "" : cmd.echo.substr(from));
    return true;
  }
  const size_t given = w.size() - 1;
  if (given < op->words || (!op->options && given > op->words)) {
    err = "'" + w[0] + "' takes " + std::to_string(op->words) + " word" +
          (op->words == 1 ? "" : "s") + ", got " + std::to_string(given);
    return false;
  }
  cmd.args.assign(w.begin() + 1, w.begin() + 1 + static_cast<long>(op->words));
  if (op->op == Op::Wait) {
    uint64_t n = 0;
    if (!tvc::parseNumber(w[1], 0x7FFFFFFF, n)) {
      err = "wait takes a number of time units from 0 to 2147483647, got " + quoted(w[1]);
      return false;
    }
    cmd.amount = static_cast<uint32_t>(n);
  }
  if (op->op == Op::Churn) {
    uint64_t n = 0;
    if (!tvc::parseNumber(w[1], 100000000, n)) {
      err = "churn takes a number of users from 0 to 100000000, got " + quoted(w[1]);
      return false;
    }
    cmd.amount = static_cast<uint32_t>(n);
    for (size_t i = 2; i < w.size(); ++i) {
      if (w[i].compare(0, 6, "every=") != 0) {
        if (!userOption(w[i], cmd.user, err)) return false;
        continue;
      }
      if (!tvc::parseNumber(w[i].substr(6), 100000000, n) || n == 0) {
        err = "churn's every=K takes a number of users from 1, got " + quoted(w[i]);
        return false;
      }
      cmd.every = static_cast<uint32_t>(n);
    }
    if (cmd.user.lenByte >= 0) {
      err = "churn gives each user its own name: len= does not apply";
      return false;
    }
  }
  if (op->op == Op::User) {
    if (!decodeName(w[1], cmd.user.nameBytes, err)) {
      err = "user name " + quoted(w[1]) + ": " + err;
      return false;
    }
    if (cmd.user.nameBytes.size() > 31) {
      err = "user name " + quoted(w[1]) + " has " + std::to_string(cmd.user.nameBytes.size()) +
            " characters; a name holds at most 31";
      return false;
    }
    for (size_t i = 2; i < w.size(); ++i) {
      if (!userOption(w[i], cmd.user, err)) return false;
    }
  }
  return true;
}

bool ScenarioReader::fill(std::string &err) {
  if (fd_ < 0 || failed_) return false;
  buf_.resize(kLineMax);
  ssize_t n = 0;
  do {
    n = ::read(fd_, buf_.data(), buf_.size());
  } while (n < 0 && errno == EINTR);
  buf_.resize(n > 0 ? static_cast<size_t>(n) : 0);
  pos_ = 0;
  if (n < 0) {
    failed_ = true;
    err = std::string("cannot read the scenario: ") + std::strerror(errno);
  }
  return n > 0;
}

ScenarioReader::Read ScenarioReader::typed(std::string &text, std::string &err) {
  if (!source_->next(text, inBlock_)) return Read::End;
  if (text.size() <= kLineMax) return Read::Line;
  text.resize(kLineMax);
  err = lineTooLong(text);
  return Read::Bad;
}

ScenarioReader::Read ScenarioReader::line(std::string &text, std::string &err) {
  text.clear();
  if (source_ != nullptr) return typed(text, err);
  if (failed_) return Read::End;
  bool any = false;  // a byte of this line was read
  bool tooLong = false;
  for (;;) {
    if (pos_ == buf_.size() && !fill(err)) {
      if (failed_) return Read::Bad;
      break;
    }
    any = true;
    const size_t nl = buf_.find('\n', pos_);
    const size_t end = nl == std::string::npos ? buf_.size() : nl;
    const size_t room = kLineMax - text.size();
    text.append(buf_, pos_, std::min(end - pos_, room));
    tooLong = tooLong || end - pos_ > room;
    pos_ = end;
    if (nl != std::string::npos) {
      ++pos_;
      break;
    }
  }
  if (!any) return Read::End;
  if (!tooLong) return Read::Line;
  err = lineTooLong(text);
  return Read::Bad;
}

bool ScenarioReader::next(Command &cmd, std::string &err, int &errLine) {
  std::string text;
  err.clear();
  for (;;) {
    const Read r = line(text, err);
    if (r == Read::End) return false;
    ++lineNo_;
    cmd = Command{};
    errLine = lineNo_;
    if (r == Read::Bad) return true;
    if (!parseCommand(text, cmd, err)) {
      cmd = Command{};  // nothing of a line that does not parse is shown
      return true;
    }
    if (cmd.op != Op::None) break;
  }
  cmd.line = lineNo_;
  if (cmd.op != Op::Write) return true;
  inBlock_ = true;
  readBlock(cmd, err, errLine);
  inBlock_ = false;
  return true;
}

void ScenarioReader::readBlock(Command &cmd, std::string &err, int &errLine) {
  // The block, to its `end`; after a bad line it is read on without keeping anything. A read
  // error ends it at once and is what is reported.
  std::string text;
  std::string decoded;
  for (;;) {
    std::string why;
    const Read r = line(text, why);
    if (r == Read::End) {
      if (err.empty()) {
        err = "'write' block has no closing 'end' line";
        errLine = cmd.line;
      }
      return;
    }
    ++lineNo_;
    if (r == Read::Bad && (err.empty() || failed_)) {
      err = why;
      errLine = lineNo_;
    }
    if (failed_) return;
    if (r == Read::Bad) continue;
    if (text == "end" || text == "end\r") return;
    if (!err.empty()) continue;
    if (!decodeBlockLine(text, decoded, why)) {
      err = why;
      errLine = lineNo_;
      continue;
    }
    cmd.block.push_back(text);
    cmd.content += decoded;
  }
}

}  // namespace host
