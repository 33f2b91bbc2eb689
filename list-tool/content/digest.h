// What names a version of a list in the journal: the SHA-256 digest of its bytes (Nettle's,
// the library that Debian's own package tools are built on), as 64 lower-case hex digits.
#ifndef TOLVANE_LIST_CONTENT_DIGEST_H
#define TOLVANE_LIST_CONTENT_DIGEST_H

#include <string>

namespace tl {

// The digest of these bytes.
std::string digestOf(const std::string &bytes);

// The digest as messages show it: its first twelve digits.
std::string shortDigest(const std::string &digest);

}  // namespace tl

#endif
