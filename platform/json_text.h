// platform/json_text.h - the pieces every JSON writer of the project shares: UTF-8 checking and
// repair, and string escaping. Text from outside (file names, arguments, pages) may not be
// UTF-8; JSON and terminals must get UTF-8, so such bytes are repaired by one rule everywhere:
// each maximal subpart of an ill-formed sequence becomes one U+FFFD, as Unicode recommends
// (so "\xE2\x82" cut short is one U+FFFD, and a lone "\xFF" is one too).
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

// `text` with that rule applied; the text itself when it is well-formed.
std::string replaceInvalidUTF8(std::string_view text);
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// Appends `text` as a JSON string: quotes, backslash and control characters escaped, bytes that
// are not UTF-8 repaired, and "/"
// written as "\/" when `escapeSlash` is set (as the platform's default encoder does).
void appendString(std::string& out, std::string_view text, bool escapeSlash);

}  // namespace nolt::platform::json
