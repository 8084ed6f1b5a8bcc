#include "platform/base64.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace nolt::platform::base64 {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned kSlash = 63;

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

// The same with each "/" written "\\/": two to four characters, copied four at a time.
struct EscapedPair {
  char text[4];
  unsigned char size;
};
constexpr std::array<EscapedPair, 4096> kEscapedPairs = [] {
  std::array<EscapedPair, 4096> pairs{};
  for (unsigned v = 0; v < 4096; ++v) {
    EscapedPair& pair = pairs[v];
    for (unsigned sextet : {v >> 6, v & 63}) {
      if (sextet == kSlash) pair.text[pair.size++] = '\\';
      pair.text[pair.size++] = kAlphabet[sextet];
    }
  }
  return pairs;
}();

// A bit at the foot of each sextet of `bits` whose six bits are all set: each "/" of its text.
constexpr std::uint64_t slashFeet(std::uint64_t bits, std::uint64_t feet) {
  return bits & (bits >> 1) & (bits >> 2) & (bits >> 3) & (bits >> 4) & (bits >> 5) & feet;
}

const unsigned char* bytesOf(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// Appends the text of `groups` whole groups of three bytes. Written through a buffer on the
// stack: appending character by character to a string of hundreds of megabytes is slow.
template <bool kEscape>
void appendGroups(std::string& out, const unsigned char* in, std::size_t groups) {
  constexpr std::size_t kGroupsPerBlock = 4096;
  char buffer[kGroupsPerBlock * 8];  // every character escaped at worst
  while (groups > 0) {
    std::size_t take = groups < kGroupsPerBlock ? groups : kGroupsPerBlock;
    char* o = buffer;
    for (std::size_t g = 0; g < take; ++g, in += 3) {
      unsigned v = unsigned(in[0]) << 16 | unsigned(in[1]) << 8 | in[2];
      if constexpr (kEscape) {
        // Without a branch: four characters are copied, and only the pair's own count kept.
        const EscapedPair& high = kEscapedPairs[v >> 12];
        std::memcpy(o, high.text, 4);
        o += high.size;
        const EscapedPair& low = kEscapedPairs[v & 0xFFF];
        std::memcpy(o, low.text, 4);
        o += low.size;
      } else {
        std::memcpy(o, &kPairs[2 * (v >> 12)], 2);
        std::memcpy(o + 2, &kPairs[2 * (v & 0xFFF)], 2);
        o += 4;
      }
    }
    out.append(buffer, o);
    groups -= take;
  }
}

void appendGroups(std::string& out, const unsigned char* in, std::size_t groups, bool escape) {
  if (escape)
    appendGroups<true>(out, in, groups);
  else
    appendGroups<false>(out, in, groups);
}

// The sextets of the last one or two bytes, zero-filled: two or three of them.
std::size_t tailSextets(const unsigned char* in, std::size_t size, unsigned sextets[3]) {
  unsigned v = unsigned(in[0]) << 16 | (size == 2 ? unsigned(in[1]) << 8 : 0u);
  sextets[0] = v >> 18;
  sextets[1] = v >> 12 & 63;
  sextets[2] = v >> 6 & 63;
  return size + 1;
}

// Appends the last one or two bytes with their padding; nothing for none.
void appendTail(std::string& out, const unsigned char* in, std::size_t size, bool escape) {
  if (size == 0) return;
  unsigned sextets[3];
  std::size_t count = tailSextets(in, size, sextets);
  for (std::size_t i = 0; i < count; ++i) {
    if (escape && sextets[i] == kSlash) out += '\\';
    out += kAlphabet[sextets[i]];
  }
  out.append(4 - count, '=');
}

std::size_t slashesInGroups(const unsigned char* in, std::size_t groups) {
  std::size_t slashes = 0;
  // Two groups at a time: their 48 bits as eight sextets, and a bit set at the foot of each
  // sextet whose six bits are all set. Eight bytes are read for six, so the last pair of
  // groups is left to the loop below.
  // The feet are summed in place, each sextet's field counting up to 63 before it is emptied.
  while (groups >= 3) {
    std::uint64_t fields = 0;
    for (int round = 0; round < 63 && groups >= 3; ++round, groups -= 2, in += 6) {
      std::uint64_t word;
      std::memcpy(&word, in, sizeof word);
      if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
      fields += slashFeet(word >> 16, 0x041041041041ull);
    }
    for (int field = 0; field < 8; ++field) slashes += (fields >> (6 * field)) & 63;
  }
  for (std::size_t g = 0; g < groups; ++g, in += 3) {
    unsigned v = unsigned(in[0]) << 16 | unsigned(in[1]) << 8 | in[2];
    slashes += (v >> 18 == kSlash) + ((v >> 12 & 63) == kSlash) + ((v >> 6 & 63) == kSlash) +
               ((v & 63) == kSlash);
  }
  return slashes;
}

std::size_t slashesInTail(const unsigned char* in, std::size_t size) {
  if (size == 0) return 0;
  unsigned sextets[3];
  std::size_t count = tailSextets(in, size, sextets);
  std::size_t slashes = 0;
  for (std::size_t i = 0; i < count; ++i) slashes += sextets[i] == kSlash;
  return slashes;
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

std::size_t escapedLength(std::string_view bytes) {
  EscapedLengthCounter counter;
  counter.add(bytes);
  return counter.total();
}

std::string encode(std::string_view bytes) {
  std::string text;
  text.reserve(encodedLength(bytes.size()));
  append(text, bytes);
  return text;
}

void append(std::string& out, std::string_view bytes, bool escapeSlash) {
  std::size_t groups = bytes.size() / 3;
  appendGroups(out, bytesOf(bytes), groups, escapeSlash);
  appendTail(out, bytesOf(bytes) + groups * 3, bytes.size() - groups * 3, escapeSlash);
}

void Encoder::add(std::string& out, std::string_view chunk) {
  if (chunk.empty()) return;
  if (heldSize_ > 0) {
    unsigned char group[3];
    if (!completeGroup(held_, heldSize_, chunk, group)) return;
    appendGroups(out, group, 1, escapeSlash_);
  }
  std::size_t groups = chunk.size() / 3;
  appendGroups(out, bytesOf(chunk), groups, escapeSlash_);
  heldSize_ = chunk.size() - groups * 3;
  std::memcpy(held_, chunk.data() + groups * 3, heldSize_);
}

void Encoder::finish(std::string& out) {
  appendTail(out, held_, heldSize_, escapeSlash_);
  heldSize_ = 0;
}

void EscapedLengthCounter::add(std::string_view chunk) {
  if (chunk.empty()) return;
  bytes_ += chunk.size();
  if (heldSize_ > 0) {
    unsigned char group[3];
    if (!completeGroup(held_, heldSize_, chunk, group)) return;
    slashes_ += slashesInGroups(group, 1);
  }
  std::size_t groups = chunk.size() / 3;
  slashes_ += slashesInGroups(bytesOf(chunk), groups);
  heldSize_ = chunk.size() - groups * 3;
  std::memcpy(held_, chunk.data() + groups * 3, heldSize_);
}

std::size_t EscapedLengthCounter::total() const {
  return encodedLength(bytes_) + slashes_ + slashesInTail(held_, heldSize_);
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
