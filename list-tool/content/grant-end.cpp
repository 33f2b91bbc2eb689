#include "content/grant-end.h"

#include <cstdio>

namespace tl {
namespace {

constexpr const char *kUntil = "until ";
constexpr size_t kStampSize = 17;  // YYYY-MM-DDTHH:MMZ
constexpr UtcSeconds kDay = 86400;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// The date of a day since 1970-01-01.
void civilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

bool leap(int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysIn(int64_t y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

// `n` ASCII digits at s[at] as a number; false when any is not a digit.
bool digits(const std::string &s, size_t at, size_t n, unsigned &out) {
  if (at + n > s.size()) return false;
  out = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + static_cast<unsigned>(s[i] - '0');
  }
  return true;
}

// A date and time of day, YYYY-MM-DDTHH:MM, at s[0]: seconds since 1970 as if it were UTC.
bool dateAndTime(const std::string &s, UtcSeconds &t) {
  unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0;
  if (s.size() < 16 || !digits(s, 0, 4, y) || s[4] != '-' || !digits(s, 5, 2, mo) || s[7] != '-' ||
      !digits(s, 8, 2, d) || s[10] != 'T' || !digits(s, 11, 2, h) || s[13] != ':' ||
      !digits(s, 14, 2, mi)) {
    return false;
  }
  if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > daysIn(y, mo) || h > 23 || mi > 59)
    return false;
  t = daysFromCivil(y, mo, d) * kDay + static_cast<UtcSeconds>(h) * 3600 +
      static_cast<UtcSeconds>(mi) * 60;
  return true;
}

// Rounded up to the whole minute.
UtcSeconds wholeMinute(UtcSeconds t) {
  const UtcSeconds over = ((t % 60) + 60) % 60;
  return over == 0 ? t : t + 60 - over;
}

// The start of the fixed form in the note, or npos.
size_t stampAt(const std::string &note) {
  const size_t form = std::char_traits<char>::length(kUntil) + kStampSize;
  if (note.size() < form) return std::string::npos;
  const size_t at = note.size() - form;
  if (note.compare(at, form - kStampSize, kUntil) != 0) return std::string::npos;
  if (at > 0 && note[at - 1] != ' ' && note[at - 1] != '\t') return std::string::npos;
  const std::string stamp = note.substr(at + form - kStampSize);
  UtcSeconds t = 0;
  if (stamp.back() != 'Z' || !dateAndTime(stamp.substr(0, kStampSize - 1), t))
    return std::string::npos;
  return at;
}

const char *const kForms =
    "give a time with its zone (2026-12-14T09:00Z, 2026-12-14T10:00+01:00) or a span from now "
    "(+3d, +12h, +30m)";

}  // namespace

std::optional<UtcSeconds> grantEnd(const std::string &note) {
  const size_t at = stampAt(note);
  if (at == std::string::npos) return std::nullopt;
  UtcSeconds t = 0;
  dateAndTime(note.substr(note.size() - kStampSize, kStampSize - 1), t);
  return t;
}

std::string noteWithoutEnd(const std::string &note) {
  size_t at = stampAt(note);
  if (at == std::string::npos) return note;
  while (at > 0 && (note[at - 1] == ' ' || note[at - 1] == '\t')) --at;
  return note.substr(0, at);
}

std::string noteWithEnd(const std::string &note, UtcSeconds end) {
  return (note.empty() ? "" : note + " ") + kUntil + untilText(end);
}

std::string untilText(UtcSeconds t) {
  const UtcSeconds days = (t >= 0 ? t : t - (kDay - 1)) / kDay;
  const UtcSeconds inDay = t - days * kDay;
  int64_t y = 0;
  unsigned m = 0, d = 0;
  civilFromDays(days, y, m, d);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02uZ", static_cast<long long>(y), m, d,
                static_cast<unsigned>(inDay / 3600), static_cast<unsigned>(inDay % 3600 / 60));
  return text;
}

Outcome parseUntil(const std::string &when, UtcSeconds now, UtcSeconds &end) {
  const std::string shown = "--until '" + when + "'";
  if (!when.empty() && when[0] == '+') {
    // A span: +N and one unit; N from 1, at most ten years' worth.
    const char unit = when.size() >= 3 ? when.back() : '\0';
    const UtcSeconds each = unit == 'd' ? kDay : unit == 'h' ? 3600 : unit == 'm' ? 60 : 0;
    unsigned n = 0;
    const size_t count = when.size() - 2;
    if (each == 0 || count > 7 || !digits(when, 1, count, n) || n == 0 ||
        static_cast<UtcSeconds>(n) * each > 3660 * kDay) {
      return usage(shown + " is no span from now: " + kForms +
                   "; a span is from 1 minute to 3660 days");
    }
    end = wholeMinute(now + static_cast<UtcSeconds>(n) * each);
    return done();
  }
  UtcSeconds local = 0;
  if (!dateAndTime(when, local)) return usage(shown + " is no time: " + kForms);
  size_t at = 16;
  unsigned seconds = 0;
  if (at < when.size() && when[at] == ':') {
    if (!digits(when, at + 1, 2, seconds) || seconds > 59)
      return usage(shown + " is no time: " + kForms);
    at += 3;
  }
  const std::string zone = when.substr(at);
  UtcSeconds offset = 0;
  unsigned zh = 0, zm = 0;
  if (zone.empty()) {
    return refused("until-no-zone",
                   shown +
                       " has no zone, so it would end at another moment on every machine "
                       "and for every TZ: write its zone (" +
                       when + "Z for UTC, or its offset, " + when + "+01:00)");
  }
  if (zone == "Z") {
    offset = 0;
  } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && digits(zone, 1, 2, zh) &&
             zone[3] == ':' && digits(zone, 4, 2, zm) && zh <= 23 && zm <= 59) {
    offset = (zone[0] == '+' ? 1 : -1) * static_cast<UtcSeconds>(zh * 3600 + zm * 60);
  } else {
    return usage(shown + " has no zone this tool reads: write Z or an offset, +HH:MM or -HH:MM");
  }
  end = wholeMinute(local + seconds - offset);
  if (end <= now) {
    return refused("until-past", shown + " is " + untilText(end) + ", not after now (" +
                                     untilText(now) +
                                     "): a grant that has ended already would not be added");
  }
  return done();
}

std::string timeLeft(UtcSeconds end, UtcSeconds now) {
  if (end <= now) return "ended";
  const UtcSeconds left = end - now;
  const auto said = [](UtcSeconds n, const char *unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
  };
  if (left >= kDay) return said(left / kDay, "day");
  if (left >= 3600) return said(left / 3600, "hour");
  return said((left + 59) / 60, "minute");
}

}  // namespace tl
