#include "content/lines.h"

namespace tl {

std::string lineEndOf(const std::string &data) {
  size_t crlf = 0, lf = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] != '\n') continue;
    ++(i > 0 && data[i - 1] == '\r' ? crlf : lf);
  }
  return crlf > lf ? "\r\n" : "\n";
}

std::string withLineAdded(const std::string &data, const std::string &line) {
  const std::string end = lineEndOf(data);
  std::string out = data;
  if (!out.empty() && out.back() != '\n') out += end;
  return out + line + end;
}

std::string withoutLines(const std::string &data, const std::set<int> &gone) {
  std::string out;
  int n = 1;
  for (size_t at = 0; at < data.size(); ++n) {
    size_t end = data.find('\n', at);
    end = end == std::string::npos ? data.size() : end + 1;
    if (gone.count(n) == 0) out.append(data, at, end - at);
    at = end;
  }
  return out;
}

std::string lineAt(const std::string &data, int n) {
  size_t at = 0;
  for (int i = 1; i < n && at != std::string::npos; ++i) {
    at = data.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  if (at == std::string::npos || at > data.size()) return "";
  size_t end = data.find('\n', at);
  if (end == std::string::npos) end = data.size();
  if (end > at && data[end - 1] == '\r') --end;
  return data.substr(at, end - at);
}

std::string withLineReplaced(const std::string &data, int n, const std::string &text) {
  std::string out;
  int i = 1;
  for (size_t at = 0; at < data.size(); ++i) {
    size_t end = data.find('\n', at);
    end = end == std::string::npos ? data.size() : end + 1;
    if (i != n) {
      out.append(data, at, end - at);
    } else {
      size_t body = end;
      if (body > at && data[body - 1] == '\n') --body;
      if (body > at && data[body - 1] == '\r') --body;
      out += text;
      out.append(data, body, end - body);
    }
    at = end;
  }
  return out;
}

int lineCount(const std::string &data) {
  int n = 0;
  for (char c : data) n += c == '\n' ? 1 : 0;
  return n + (!data.empty() && data.back() != '\n' ? 1 : 0);
}

}  // namespace tl
