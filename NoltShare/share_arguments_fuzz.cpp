// Command lines as the desktop passes them, words separated by NUL bytes: read as options,
// turned into items and summarised as links. Nothing is loaded from the providers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "NoltShare/extension_context.h"
#include "NoltShare/share_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> arguments;
  std::size_t start = 0;
  for (std::size_t end; (end = input.find('\0', start)) != std::string::npos; start = end + 1)
    arguments.push_back(input.substr(start, end - start));
  arguments.push_back(input.substr(start));
  nolt::share::itemsFromArguments(arguments);
  for (const std::string& argument : arguments) nolt::share::linkSummary(argument);
  arguments.insert(arguments.begin(), "nolt-share");
  nolt::share::readCommandLine(arguments);
  return 0;
}
