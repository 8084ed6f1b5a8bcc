// platform/desktop_entry.h - reading a desktop entry's Exec line into a program's arguments.
// Pure text functions, so the quoting rules are tested without starting anything.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nolt::platform {

// The raw value of `key` in the file's [Desktop Entry] group; none when it is absent.
// Only the first [Desktop Entry] group counts, and the first occurrence of the key in it.
std::optional<std::string> desktopEntryValue(std::string_view fileText, std::string_view key);

// Either the arguments of a command line or why it cannot be run.
struct ExecCommand {
  std::vector<std::string> arguments;  // the program first; never empty without an error
  std::optional<std::string> error;
};

// Turns an Exec value into arguments the way a desktop opening no files does: string escapes
// (\s \n \t \r \\) first, then double-quote quoting (\" \` \$ \\ escaped inside quotes), then
// field codes: the file, URL, icon, name and location codes and the deprecated ones expand to
// nothing (an argument made only of them disappears), %% is a literal %. Unknown field codes
// and unclosed quotes make the line unusable.
ExecCommand parseExecLine(std::string_view value);

}  // namespace nolt::platform
