// host/web_address.h - the one rule for addresses the host keeps as links: an absolute http or
// https address with a host. Anything else (javascript:, file:, data:) would be handed to the
// desktop's opener by `open`, so neither add_link nor the inbox takes it.
#pragma once

#include <string_view>

namespace nolt::host {

bool isWebAddress(std::string_view text);

}  // namespace nolt::host
