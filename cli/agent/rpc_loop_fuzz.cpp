// Feeds arbitrary bytes to the loop as lines: every line gets at most one reply line, and
// every reply line is one JSON object.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "cli/agent/rpc_loop.h"
#include "cli/link/app_connection.h"

using nolt::wire::JSONObject;
using nolt::wire::JSONValue;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::size_t lines = 0;
  nolt::agent::LineReader counter([&, at = std::size_t{0}](char* buffer, std::size_t n) mutable {
    n = bytes.copy(buffer, n, at);
    at += n;
    return n;
  });
  while (counter.next()) ++lines;

  // The host answers with the arguments it got, or fails when asked for "spaces".
  auto host = [](std::string_view command, const JSONObject& arguments) -> JSONValue {
    if (command == "spaces") throw nolt::link::AppConnection::Failure::noAnswer();
    return arguments;
  };
  std::istringstream in(bytes);
  std::ostringstream out;
  nolt::agent::serve(in, out, host);

  std::istringstream written(out.str());
  std::size_t replies = 0;
  for (std::string line; std::getline(written, line); ++replies) {
    if (!JSONValue::decode(line).object()) std::abort();  // throws when it is not JSON
  }
  if (replies > lines || (!out.str().empty() && out.str().back() != '\n')) std::abort();
  return 0;
}
