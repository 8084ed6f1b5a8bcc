// platform/base64.h - standard Base64 (RFC 4648 alphabet, "=" padding), as files travel inside
// requests and browser messages: whole texts, or a file and its text streamed part by part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nolt::platform::base64 {

// Characters in the text of `bytes` bytes: four for every three, the last group padded.
constexpr std::size_t encodedLength(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

std::string encode(std::string_view bytes);

// Appends the text of `bytes`. It needs no escape inside a JSON string: a JSON reader takes "/"
// as it is, and "+" and "=" are plain characters there.
void append(std::string& out, std::string_view bytes);

// Encodes a text fed in chunks of any size: the concatenated output is exactly what append
// gives for the whole. Up to two bytes of a chunk wait for the next one.
class Encoder {
 public:
  // Appends the text of every complete group of three bytes so far.
  void add(std::string& out, std::string_view chunk);
  // Appends the last group with its padding; the encoder then starts a new text.
  void finish(std::string& out);

 private:
  unsigned char held_[2] = {};
  std::size_t heldSize_ = 0;
};

enum class Mode {
  // Only the alphabet, padded to a multiple of four characters, padding only at the end: no
  // line breaks, no spaces. What browsers' encoders write.
  strict,
  // Padded or unpadded; line feeds and carriage returns are skipped anywhere.
  lenient,
};

// None when `text` is not Base64 in that mode.
std::optional<std::string> decode(std::string_view text, Mode mode);

// Decodes a text that arrives in parts of any size, handing the bytes on in blocks of a few
// kilobytes; it holds at most three characters between parts. Bytes reach the sink before the
// text is known to be valid, so a caller keeps them only when finish() says so.
class Decoder {
 public:
  using Sink = std::function<void(std::string_view bytes)>;

  Decoder(Mode mode, Sink sink) : mode_(mode), sink_(std::move(sink)) {}

  // False once the text so far cannot start valid Base64 (a character outside the alphabet,
  // misplaced padding); the sink gets nothing more then.
  bool add(std::string_view part);
  // True when the whole text was valid, after handing on the last bytes; false also for a
  // text cut short. The decoder then starts a new text.
  bool finish();

 private:
  // Decodes one character the slow way: padding, skipped characters, anything invalid.
  void addOne(unsigned char c, unsigned char*& out);

  Mode mode_;
  Sink sink_;
  std::uint32_t bits_ = 0;   // the sextets of the current group of four
  std::size_t sextets_ = 0;  // how many, 0 to 3
  std::size_t padding_ = 0;  // "=" seen, 0 to 2
  bool failed_ = false;
};

}  // namespace nolt::platform::base64
