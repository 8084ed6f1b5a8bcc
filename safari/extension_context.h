// safari/extension_context.h - one request from the browser extension, as the handler sees it:
// input items whose userInfo holds the message under SFExtensionMessageKey, answered by
// completing the request with items that hold the reply the same way.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "wire/json_value.h"

namespace nolt::safari {

inline constexpr std::string_view SFExtensionMessageKey = "message";

struct ExtensionItem {
  std::optional<wire::JSONObject> userInfo;
};

class ExtensionContext {
 public:
  virtual ~ExtensionContext() = default;
  virtual const std::vector<ExtensionItem>& inputItems() const = 0;
  // Ends the request; called exactly once for each request.
  virtual void completeRequest(std::vector<ExtensionItem> items) = 0;
};

}  // namespace nolt::safari
