// The end of a grant, as a record's own note holds it: the note's last words are "until" and a
// UTC time to the minute, "Ada until 2026-12-14T09:00Z" (or "until 2026-12-14T09:00Z" alone).
// The plug-in never reads past a record's closing quote, so the end is the tool's alone: add
// writes it, check, match, diff and history show it, and expire takes the record out once it is
// past. Times are counted in seconds since 1970 in UTC by this file's own arithmetic: neither the
// caller's TZ nor their locale can change what is written or when a grant ends.
#ifndef TOLVANE_LIST_CONTENT_GRANT_END_H
#define TOLVANE_LIST_CONTENT_GRANT_END_H

#include <cstdint>
#include <optional>
#include <string>

#include "outcome.h"

namespace tl {

// Seconds since 1970-01-01T00:00Z.
using UtcSeconds = int64_t;

// A grant ending within this many seconds of now is said to be ending (check's note).
constexpr UtcSeconds kEndingSoon = UtcSeconds{7} * 24 * 3600;

// The end a note names in the fixed form, or none: the note ends with "until" and
// YYYY-MM-DDTHH:MMZ, after a space or alone, with a real date and time of day.
std::optional<UtcSeconds> grantEnd(const std::string &note);

// The note without its end ("Ada until 2026-12-14T09:00Z" gives "Ada"); the note itself when it
// names none.
std::string noteWithoutEnd(const std::string &note);

// The note with the end written in the fixed form after it.
std::string noteWithEnd(const std::string &note, UtcSeconds end);

// A time as the fixed form writes it: "2026-12-14T09:00Z" (its seconds left out).
std::string untilText(UtcSeconds t);

// The end that WHEN names, at `now`: a time with its zone, YYYY-MM-DDTHH:MM[:SS] then Z or
// +HH:MM / -HH:MM, or a span from now, +Nd, +Nh or +Nm; either rounded up to the whole minute.
// A usage error when it is neither; refused "until-no-zone" for a time without its zone,
// "until-past" for one that is not after now.
Outcome parseUntil(const std::string &when, UtcSeconds now, UtcSeconds &end);

// How long until `end`, from `now`, in the largest whole unit: "3 days", "5 hours", "12
// minutes"; "ended" when it is not after now.
std::string timeLeft(UtcSeconds end, UtcSeconds now);

}  // namespace tl

#endif
