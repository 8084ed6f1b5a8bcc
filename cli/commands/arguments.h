// cli/commands/arguments.h - the argument words of nolt split into words, flags and options.
// Options may stand anywhere; there is no "=" form, no single dash and no "--" marker.
#pragma once

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/link/user_error.h"

namespace nolt::commands {

// A command line that names no command or lacks its words; text() is the whole text shown.
class UsageError : public link::UserError {
  using UserError::UserError;
};

struct ParsedArguments {
  std::vector<std::string> positionals;  // the command word first
  std::set<std::string, std::less<>> flags;
  std::vector<std::pair<std::string, std::string>> options;  // in command-line order

  // The value of the last occurrence of the option; none when it never occurs.
  std::optional<std::string> lastOption(std::string_view name) const;
  // Every value of the option, in command-line order.
  std::vector<std::string> allOptions(std::string_view name) const;
  bool hasFlag(std::string_view name) const { return flags.contains(name); }
};

// The options that take no value; any other word starting with "--" takes the next word.
inline constexpr std::string_view kFlagNames[] = {"json", "rules", "rule"};

// Never fails: an option left without a value becomes a plain word, "--" and all.
ParsedArguments parseArguments(const std::vector<std::string>& words);

}  // namespace nolt::commands
