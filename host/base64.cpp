#include "host/base64.h"

#include <array>
#include <cstdint>

namespace nolt::host {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> kValues = [] {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return values;
}();

}  // namespace

std::string base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    std::uint32_t n = (std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16) |
                      (std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8) |
                      std::uint32_t(static_cast<unsigned char>(bytes[i + 2]));
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(n >> shift) & 63];
  }
  std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t n = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) n |= std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t buffer = 0;
  int bits = 0;
  std::size_t symbols = 0;
  std::size_t padding = 0;
  for (char c : text) {
    if (c == '\n' || c == '\r') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    std::int8_t value = kValues[static_cast<unsigned char>(c)];
    if (value < 0 || padding > 0) return std::nullopt;  // a symbol after padding is not Base64
    ++symbols;
    buffer = (buffer << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  if (symbols % 4 == 1 || padding > 2) return std::nullopt;
  if (padding > 0 && (symbols + padding) % 4 != 0) return std::nullopt;
  return out;
}

}  // namespace nolt::host
