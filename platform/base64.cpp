#include "platform/base64.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace nolt::platform::base64 {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// What each character is to the decoder: a sextet (0 to 63), or one of these. Every one of them
// has a bit of 0xC0 set, so one test tells a group of four plain sextets.
constexpr unsigned char kPadding = 0x40;
constexpr unsigned char kLineBreak = 0x41;
constexpr unsigned char kInvalid = 0xFF;

constexpr std::array<unsigned char, 256> kValues = [] {
  std::array<unsigned char, 256> values{};
  values.fill(kInvalid);
  for (unsigned i = 0; i < 64; ++i) values[static_cast<unsigned char>(kAlphabet[i])] = i;
  values['='] = kPadding;
  values['\n'] = kLineBreak;
  values['\r'] = kLineBreak;
  return values;
}();

// The two characters of every 12 bits: half a group in one look-up.
constexpr std::array<char, 8192> kPairs = [] {
  std::array<char, 8192> pairs{};
  for (unsigned v = 0; v < 4096; ++v) {
    pairs[2 * v] = kAlphabet[v >> 6];
    pairs[2 * v + 1] = kAlphabet[v & 63];
  }
  return pairs;
}();

const unsigned char* bytesOf(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// Appends the text of `groups` whole groups of three bytes. Written through a buffer on the
// stack: appending character by character to a string of hundreds of megabytes is slow.
void appendGroups(std::string& out, const unsigned char* in, std::size_t groups) {
  constexpr std::size_t kGroupsPerBlock = 4096;
  char buffer[kGroupsPerBlock * 4];
  while (groups > 0) {
    std::size_t take = groups < kGroupsPerBlock ? groups : kGroupsPerBlock;
    char* o = buffer;
    for (std::size_t g = 0; g < take; ++g, in += 3, o += 4) {
      unsigned v = unsigned(in[0]) << 16 | unsigned(in[1]) << 8 | in[2];
      std::memcpy(o, &kPairs[2 * (v >> 12)], 2);
      std::memcpy(o + 2, &kPairs[2 * (v & 0xFFF)], 2);
    }
    out.append(buffer, o);
    groups -= take;
  }
}

// Appends the last one or two bytes with their padding; nothing for none.
void appendTail(std::string& out, const unsigned char* in, std::size_t size) {
  if (size == 0) return;
  unsigned v = unsigned(in[0]) << 16 | (size == 2 ? unsigned(in[1]) << 8 : 0u);
  unsigned sextets[3] = {v >> 18, v >> 12 & 63, v >> 6 & 63};
  for (std::size_t i = 0; i < size + 1; ++i) out += kAlphabet[sextets[i]];
  out.append(3 - size, '=');
}

// Completes a group from the bytes held back and the front of `in`. Returns false, holding
// everything, when there are still too few; else `group` is whole and `in` moved past its part.
bool completeGroup(unsigned char held[2], std::size_t& heldSize, std::string_view& in,
                   unsigned char group[3]) {
  if (heldSize + in.size() < 3) {
    std::memcpy(held + heldSize, in.data(), in.size());
    heldSize += in.size();
    in = {};
    return false;
  }
  std::memcpy(group, held, heldSize);
  std::memcpy(group + heldSize, in.data(), 3 - heldSize);
  in.remove_prefix(3 - heldSize);
  heldSize = 0;
  return true;
}

}  // namespace

std::string encode(std::string_view bytes) {
  std::string text;
  text.reserve(encodedLength(bytes.size()));
  append(text, bytes);
  return text;
}

void append(std::string& out, std::string_view bytes) {
  std::size_t groups = bytes.size() / 3;
  appendGroups(out, bytesOf(bytes), groups);
  appendTail(out, bytesOf(bytes) + groups * 3, bytes.size() - groups * 3);
}

void Encoder::add(std::string& out, std::string_view chunk) {
  if (chunk.empty()) return;
  if (heldSize_ > 0) {
    unsigned char group[3];
    if (!completeGroup(held_, heldSize_, chunk, group)) return;
    appendGroups(out, group, 1);
  }
  std::size_t groups = chunk.size() / 3;
  appendGroups(out, bytesOf(chunk), groups);
  heldSize_ = chunk.size() - groups * 3;
  std::memcpy(held_, chunk.data() + groups * 3, heldSize_);
}

void Encoder::finish(std::string& out) {
  appendTail(out, held_, heldSize_);
  heldSize_ = 0;
}

std::optional<std::string> decode(std::string_view text, Mode mode) {
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3 + 2);
  Decoder decoder(mode, [&bytes](std::string_view block) { bytes.append(block); });
  if (!decoder.add(text) || !decoder.finish()) return std::nullopt;
  return bytes;
}

bool Decoder::add(std::string_view part) {
  if (failed_) return false;
  constexpr std::size_t kBlock = 3 * 2048;
  unsigned char block[kBlock];
  unsigned char* const roomy = block + kBlock - 3;  // room for one more group up to here
  unsigned char* out = block;
  const unsigned char* in = bytesOf(part);
  const unsigned char* const end = in + part.size();
  auto flush = [&] {
    if (out != block) sink_({reinterpret_cast<const char*>(block), std::size_t(out - block)});
    out = block;
  };
  while (in != end) {
    if (out > roomy) flush();
    // Between groups, whole groups of four plain characters go at once.
    if (sextets_ == 0 && padding_ == 0) {
      while (end - in >= 4 && out <= roomy) {
        unsigned a = kValues[in[0]], b = kValues[in[1]], c = kValues[in[2]], d = kValues[in[3]];
        if ((a | b | c | d) & 0xC0) break;
        unsigned v = a << 18 | b << 12 | c << 6 | d;
        out[0] = static_cast<unsigned char>(v >> 16);
        out[1] = static_cast<unsigned char>(v >> 8);
        out[2] = static_cast<unsigned char>(v);
        out += 3;
        in += 4;
      }
      if (in == end || out > roomy) continue;
    }
    addOne(*in++, out);
    if (failed_) return false;
  }
  flush();
  return true;
}

void Decoder::addOne(unsigned char c, unsigned char*& out) {
  unsigned value = kValues[c];
  if (value < 64) {
    if (padding_ > 0) {  // a character after padding
      failed_ = true;
      return;
    }
    bits_ = bits_ << 6 | value;
    if (++sextets_ == 4) {
      out[0] = static_cast<unsigned char>(bits_ >> 16);
      out[1] = static_cast<unsigned char>(bits_ >> 8);
      out[2] = static_cast<unsigned char>(bits_);
      out += 3;
      bits_ = 0;
      sextets_ = 0;
    }
  } else if (value == kPadding) {
    // Padding follows two or three characters of a group and fills it, no more.
    if (sextets_ < 2 || sextets_ + padding_ == 4) {
      failed_ = true;
      return;
    }
    ++padding_;
  } else if (value != kLineBreak || mode_ == Mode::strict) {
    failed_ = true;
  }
}

bool Decoder::finish() {
  bool valid =
      !failed_ && (padding_ > 0 ? sextets_ + padding_ == 4
                                : sextets_ == 0 || (mode_ == Mode::lenient && sextets_ >= 2));
  // Two characters give one byte, three give two; the bits below them are dropped.
  if (valid && sextets_ >= 2) {
    std::uint32_t v = bits_ << (6 * (4 - sextets_));
    char last[2] = {static_cast<char>(v >> 16), static_cast<char>(v >> 8)};
    sink_({last, sextets_ - 1});
  }
  bits_ = 0;
  sextets_ = 0;
  padding_ = 0;
  failed_ = false;
  return valid;
}

}  // namespace nolt::platform::base64
