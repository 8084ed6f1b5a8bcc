// safari/base64.h - strict Base64 (RFC 4648, standard alphabet, padded).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nolt::safari {

// None for any character outside the alphabet (line breaks and spaces included), a length that
// is not a multiple of four, or padding anywhere but at the end.
std::optional<std::string> decodeBase64(std::string_view text);

}  // namespace nolt::safari
