#include "platform/uuid.h"

namespace nolt::platform {

namespace {

constexpr bool isHyphenPosition(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::optional<UUID> UUID::parse(std::string_view text) {
  if (text.size() != kTextSize) return std::nullopt;
  UUID id;
  std::size_t byte = 0;
  for (std::size_t i = 0; i < kTextSize;) {
    if (isHyphenPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int high = hexDigit(text[i]);
    int low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    id.bytes[byte++] = static_cast<unsigned char>(high << 4 | low);
    i += 2;
  }
  return id;
}

std::array<char, UUID::kTextSize> UUID::text() const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::array<char, kTextSize> out{};
  std::size_t at = 0;
  for (std::size_t byte = 0; byte < bytes.size(); ++byte) {
    if (byte == 4 || byte == 6 || byte == 8 || byte == 10) out[at++] = '-';
    out[at++] = kDigits[bytes[byte] >> 4];
    out[at++] = kDigits[bytes[byte] & 0xF];
  }
  return out;
}

std::string UUID::uuidString() const {
  std::array<char, kTextSize> chars = text();
  return std::string(chars.data(), chars.size());
}

}  // namespace nolt::platform
