#include "content/digest.h"

#include <nettle/sha2.h>

#include <cstdio>

namespace tl {

std::string digestOf(const std::string &bytes) {
  sha256_ctx ctx{};
  sha256_init(&ctx);
  sha256_update(&ctx, bytes.size(), reinterpret_cast<const uint8_t *>(bytes.data()));
  uint8_t raw[SHA256_DIGEST_SIZE] = {};
  sha256_digest(&ctx, sizeof raw, raw);
  std::string hex;
  for (const uint8_t b : raw) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  return hex;
}

std::string shortDigest(const std::string &digest) {
  return digest.substr(0, 12);
}

}  // namespace tl
