#include "cli/commands/arguments.h"

#include <algorithm>

namespace nolt::commands {

std::optional<std::string> ParsedArguments::lastOption(std::string_view name) const {
  for (auto it = options.rbegin(); it != options.rend(); ++it)
    if (it->first == name) return it->second;
  return std::nullopt;
}

std::vector<std::string> ParsedArguments::allOptions(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& [optionName, value] : options)
    if (optionName == name) values.push_back(value);
  return values;
}

ParsedArguments parseArguments(const std::vector<std::string>& words) {
  ParsedArguments parsed;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!word.starts_with("--")) {
      parsed.positionals.push_back(word);
      continue;
    }
    std::string name = word.substr(2);
    if (std::ranges::find(kFlagNames, name) != std::end(kFlagNames)) {
      parsed.flags.insert(std::move(name));
    } else if (i + 1 < words.size()) {
      // The value is the next word whatever it looks like, "--json" included.
      parsed.options.emplace_back(std::move(name), words[++i]);
    } else {
      parsed.positionals.push_back(word);
    }
  }
  return parsed;
}

}  // namespace nolt::commands
