// A string read like a file, for the list tool and the tests; the plug-in reads only files.
#include <string.h>

#include "tv-list.h"

char *tvReadString(char *buf, int size, void *src) {
  auto *s = static_cast<TvString *>(src);
  if (size <= 0 || s->pos >= s->len) return nullptr;
  // Up to and with the next newline, at most size - 1 bytes: a piece at a time, not a byte at a
  // time.
  const char *from = s->data + s->pos;
  const size_t room = static_cast<size_t>(size) - 1;
  size_t n = s->len - s->pos < room ? s->len - s->pos : room;
  const void *nl = memchr(from, '\n', n);
  if (nl != nullptr) n = static_cast<size_t>(static_cast<const char *>(nl) - from) + 1;
  memcpy(buf, from, n);
  buf[n] = '\0';
  s->pos += n;
  return buf;
}
