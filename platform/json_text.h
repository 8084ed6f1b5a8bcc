// platform/json_text.h - the pieces every JSON writer of the project shares: UTF-8 checking and
// string escaping. Text from outside (file names, arguments, pages) may not be UTF-8; JSON must
// be, so such bytes are written as U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nolt::platform::json {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the bytes there are not one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i);

// The same with what a reader that replaces bad bytes needs: for bytes that are not a
// character, `valid` is cleared and the length is that of the longest start of one there, at
// least 1 (the maximal subpart, which Unicode replaces with one U+FFFD).
std::size_t utf8SequenceAt(std::string_view text, std::size_t i, bool& valid);

// Where the first byte that is not part of well-formed UTF-8 is; npos when there is none.
// Runs of ASCII, such as the Base64 of a file, go eight bytes at a time.
std::size_t firstInvalidUTF8(std::string_view text);

// Appends `text` as a JSON string: quotes, backslash and control characters escaped, and "/"
// written as "\/" when `escapeSlash` is set (as the platform's default encoder does).
void appendString(std::string& out, std::string_view text, bool escapeSlash);

}  // namespace nolt::platform::json
