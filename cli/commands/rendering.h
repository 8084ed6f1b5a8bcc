// cli/commands/rendering.h - the text people see for each command's result.
// Columns are separated by two spaces; nothing is padded, truncated or coloured.
// Each field stays on its line: line breaks and tabs in it print as spaces. Only a note's
// text, shown in full by `notes`, keeps its own lines.
#pragma once

#include <string>
#include <string_view>

#include "wire/json_value.h"

namespace nolt::commands {

// Lines for standard output, and for standard error (only search's count line goes there).
struct Rendered {
  std::string out;
  std::string err;
};

// One line per item ("id  title  #tag #tag"), then "20 of 143 items" on standard error.
Rendered renderSearch(const wire::JSONValue& result);
// A header per note ("id  title  [rule]"), then its non-empty lines indented by four spaces.
std::string renderNotes(const wire::JSONValue& result);
std::string renderSpaces(const wire::JSONValue& result);
// "id  name  (12 in Work)".
std::string renderCollections(const wire::JSONValue& result);
std::string renderNoteSaved(const wire::JSONValue& result);
// The indented JSON text and a line feed.
std::string renderJSON(const wire::JSONValue& result);

// The text with every control character but line feed and tab (C0, DEL, C1), every
// bidirectional embedding, override and isolate (U+202A to U+202E, U+2066 to U+2069) and every
// byte that is not UTF-8 shown as U+FFFD. Texts saved from web pages and files must not drive
// the terminal they are printed on, nor reorder what it shows of other items.
std::string terminalSafe(std::string_view text);
// JSON text with DEL, C1 controls and the same bidirectional controls written as escapes
// ("\u009b"), so that it still reads as the same JSON. The encoder already escapes C0.
std::string terminalSafeJSON(std::string_view json);

}  // namespace nolt::commands
