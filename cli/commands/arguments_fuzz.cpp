// Argument splitting of arbitrary words: never fails, and every word lands somewhere.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/commands/arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Words are the input split at NUL bytes, as a process receives them.
  std::vector<std::string> words(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      words.emplace_back();
    else
      words.back() += static_cast<char>(data[i]);
  }
  nolt::commands::ParsedArguments parsed = nolt::commands::parseArguments(words);
  std::size_t accounted = parsed.positionals.size() + 2 * parsed.options.size();
  std::size_t flagWords = words.size() - accounted;
  if (accounted > words.size() || parsed.flags.size() > flagWords) std::abort();
  for (const auto& [name, value] : parsed.options) (void)parsed.lastOption(name);
  return 0;
}
