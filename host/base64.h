// host/base64.h - standard Base64 (RFC 4648, padded), as files travel inside requests.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nolt::host {

std::string base64Encode(std::string_view bytes);
// Padded or unpadded standard Base64; line breaks are skipped. None for anything else.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace nolt::host
