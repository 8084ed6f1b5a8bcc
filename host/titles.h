// host/titles.h - the titles the host gives items that come without one: from a note's or a
// text's first line, or from a file's name.
#pragma once

#include <string>
#include <string_view>

namespace nolt::host {

// A title from a text's first line, at most 60 characters (cut at a word when it can).
std::string titleOfText(std::string_view text);
// "Red chair" for "Red chair.png".
std::string titleOfFileName(std::string_view name);

}  // namespace nolt::host
