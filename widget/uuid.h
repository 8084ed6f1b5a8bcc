// widget/uuid.h - identifiers of items, spaces and collections.
// Read in the 36-character form in either case; always written in upper case, the form that
// names thumbnails and deep links and feeds the item hash.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nolt::widget {

struct UUID {
  static constexpr std::size_t kTextSize = 36;

  std::array<std::uint8_t, 16> bytes{};

  // None unless `text` is 8-4-4-4-12 hexadecimal digits separated by hyphens.
  static std::optional<UUID> parse(std::string_view text);
  // The canonical upper-case form, without allocating.
  std::array<char, kTextSize> text() const;
  std::string uuidString() const;

  friend bool operator==(const UUID&, const UUID&) = default;
  friend auto operator<=>(const UUID&, const UUID&) = default;
};

}  // namespace nolt::widget
