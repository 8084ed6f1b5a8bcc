// Decodes arbitrary bytes as Base64 whole and in parts, which must agree, and checks that any
// bytes come back from their text, however it was streamed.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base64.h"

using namespace nolt::platform::base64;

namespace {

// Cuts `text` into parts of 0 to 40 bytes, chosen by `seed`.
std::vector<std::string_view> partsOf(std::string_view text, std::uint32_t seed) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    seed = seed * 1664525u + 1013904223u;
    std::size_t size = (seed >> 16) % 41;
    parts.push_back(text.substr(0, size));
    text.remove_prefix(parts.back().size());
  }
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  Mode mode = data[0] & 1 ? Mode::lenient : Mode::strict;
  std::uint32_t seed = data[1] | std::uint32_t(data[0]) << 8;
  std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::vector<std::string_view> parts = partsOf(input, seed);

  std::optional<std::string> whole = decode(input, mode);
  std::string streamed;
  Decoder decoder(mode, [&streamed](std::string_view block) { streamed += block; });
  bool valid = true;
  for (std::string_view part : parts) valid = decoder.add(part) && valid;
  valid = decoder.finish() && valid;
  if (valid != whole.has_value() || (valid && streamed != *whole)) std::abort();

  // The input as bytes: its text, whole and streamed, decodes back to it.
  std::string text = encode(input);
  if (text.size() != encodedLength(input.size())) std::abort();
  if (decode(text, Mode::strict) != input || decode(text, Mode::lenient) != input) std::abort();
  Encoder encoder;
  std::string inParts;
  for (std::string_view part : parts) encoder.add(inParts, part);
  encoder.finish(inParts);
  if (inParts != text) std::abort();
  return 0;
}
