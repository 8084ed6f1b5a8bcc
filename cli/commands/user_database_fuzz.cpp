// Password-file text of any shape: lookups never fail, and a home found is an absolute path
// taken from one line of the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cli/commands/user_database.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // The name looked up is the input's first line, so that the fuzzer can make it match.
  std::string_view name = text.substr(0, text.find('\n'));
  for (const auto& home :
       {nolt::commands::homeInPasswd(text, name), nolt::commands::homeInPasswd(text, "root"),
        nolt::commands::homeInPasswd(text, uid_t{0})}) {
    if (!home) continue;
    if (!home->starts_with('/') || text.find(*home) == std::string_view::npos ||
        home->find_first_of(":\n") != std::string::npos)
      std::abort();
  }
  return 0;
}
