// platform/deep_link.h - the deep link that opens an item in the host: nolt://item/<UUID>, with
// the identifier in its canonical upper-case form. The host hands it out with every item, the
// widget opens it on a tap, and the host takes it as an argument.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/uuid.h"

namespace nolt::platform {

inline constexpr std::string_view kItemLinkPrefix = "nolt://item/";

std::string itemLink(const UUID& item);
// The item of a deep link: the scheme and "item" in any case, the identifier in either case,
// trailing slashes allowed; none for any other address.
std::optional<UUID> itemOfLink(std::string_view link);

}  // namespace nolt::platform
