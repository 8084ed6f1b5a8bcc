#include "platform/deep_link.h"

#include <cctype>

namespace nolt::platform {

std::string itemLink(const UUID& item) {
  auto text = item.text();
  std::string link(kItemLinkPrefix);
  link.append(text.data(), text.size());
  return link;
}

std::optional<UUID> itemOfLink(std::string_view link) {
  if (link.size() <= kItemLinkPrefix.size()) return std::nullopt;
  for (std::size_t i = 0; i < kItemLinkPrefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(link[i])) != kItemLinkPrefix[i])
      return std::nullopt;
  std::string_view id = link.substr(kItemLinkPrefix.size());
  while (!id.empty() && id.back() == '/') id.remove_suffix(1);
  return UUID::parse(id);
}

}  // namespace nolt::platform
