// host/colour_names.h - the plain name people give a colour, so a search for "orange" finds
// the sunset whose picture is mostly orange.
#pragma once

#include <string_view>

namespace nolt::host {

// The plain name of a "#RRGGBB" colour ("orange", "teal", "grey"); empty for anything else.
std::string_view colourWord(std::string_view hex);

}  // namespace nolt::host
