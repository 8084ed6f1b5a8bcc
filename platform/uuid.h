// platform/uuid.h - UUIDs: reading their text, the canonical upper-case form, and a source of
// fresh random ones that tests can replace.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nolt::platform {

// Reading and writing need no library; only makeRandomUUIDSource needs libuuid, and it lives in
// nolt_platform_session.
struct UUID {
  static constexpr std::size_t kTextSize = 36;

  std::array<unsigned char, 16> bytes{};

  // Upper- or lower-case hexadecimal digits in groups of 8-4-4-4-12 separated by hyphens;
  // none for anything else.
  static std::optional<UUID> parse(std::string_view text);
  // The canonical upper-case form, without allocating: it names thumbnails and deep links
  // and feeds the widget's item hash.
  std::array<char, kTextSize> text() const;
  std::string uuidString() const;

  friend auto operator<=>(const UUID&, const UUID&) = default;
};

class UUIDSource {
 public:
  virtual ~UUIDSource() = default;
  virtual UUID next() = 0;
};

// Random (version 4) UUIDs from the system's generator.
std::unique_ptr<UUIDSource> makeRandomUUIDSource();

}  // namespace nolt::platform
