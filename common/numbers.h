// Numbers and addresses as people type them on command lines and in scenarios.
#ifndef TOLVANE_COMMON_NUMBERS_H
#define TOLVANE_COMMON_NUMBERS_H

#include <cstdint>
#include <string>

namespace tvc {

// The value of a hexadecimal digit, either case; -1 for any other character.
int hexValue(char c);

// An unsigned number, decimal or 0x-hex, of at most `max`.
bool parseNumber(const std::string &s, uint64_t max, uint64_t &out);

// A dotted address A.B.C.D, each part 0 to 255, as a number with the first octet most
// significant.
bool parseAddress(const std::string &s, uint32_t &out);

}  // namespace tvc

#endif
