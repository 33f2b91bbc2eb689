// decode: the value of a seed written in letters.
#include <cstdio>

#include "cli.h"
#include "command.h"
#include "content/encoding.h"
#include "content/text-out.h"

namespace tl {
namespace {

int decode(const std::string &text, Voice &voice) {
  std::string letters = text;
  if (letters.size() >= 2 && letters.front() == '{' && letters.back() == '}')
    letters = letters.substr(1, letters.size() - 2);
  uint32 value = 0;
  uint64_t unwrapped = 0;
  const bool asReg = decodeSeed(letters, false, value, unwrapped).ok();
  if (!asReg) {
    Outcome asPuid = decodeSeed(letters, true, value, unwrapped);
    if (!asPuid.ok()) {
      return voice.end(refused("values", "'" + letters + "' is not a seed: " + asPuid.message));
    }
  }
  std::string out = "{" + letters + "} = " + std::to_string(value);
  if (unwrapped != value) out += " (" + std::to_string(unwrapped) + ", wrapped modulo 2^32)";
  if (!asReg) out += " (as a PUID seed only: 'Z' is not allowed in a registration seed)";
  voice.line(stdout, out, "value", value);
  return voice.end(done());
}

}  // namespace

Subcommand defineDecode(CLI::App &tool) {
  CLI::App *sub = tool.add_subcommand("decode", "Print the value of a seed written in letters.");
  auto letters = std::make_shared<std::string>();
  sub->add_option("LETTERS", *letters, "the letters, with or without braces")->required();
  nameValues(sub);
  return {sub, [letters](Voice &voice) { return decode(*letters, voice); }, nullptr};
}

}  // namespace tl
