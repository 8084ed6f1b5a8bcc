// platform/uuid.h - UUIDs: reading their text, the canonical upper-case form, and a source of
// fresh random ones that tests can replace.
#pragma once

#include <array>
#include <compare>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nolt::platform {

struct UUID {
  std::array<unsigned char, 16> bytes{};

  // 36 characters, upper-case hexadecimal digits in groups of 8-4-4-4-12.
  std::string uuidString() const;
  // Upper- or lower-case digits in the 8-4-4-4-12 layout; none for anything else.
  static std::optional<UUID> parse(std::string_view text);

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
