// cli/commands/dispatch.h - one run of nolt: the command word picks a row of the command
// table, the row sends its request and prints the result.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/link/app_connection.h"
#include "wire/json_value.h"

namespace nolt::commands {

// What a run needs from the world; main() builds the real ones, tests their own.
struct Services {
  // One exchange with the host: the result, or a thrown AppConnection::Failure.
  std::function<wire::JSONValue(std::string_view command, const wire::JSONObject& arguments)> send;
  // The same exchange for a request of `length` bytes written piece by piece; `add` sends files
  // this way so that neither a file nor its text is ever held whole. When unset, files go
  // through `send`.
  std::function<wire::JSONValue(std::uint32_t length,
                                const link::AppConnection::StreamedRequest& produce)>
      sendStreamed;
  // Standard output and standard error; each call's text is written at once.
  std::function<void(std::string_view text)> out;
  std::function<void(std::string_view text)> err;
  // What goes to a terminal has its control characters replaced (lines) or escaped (JSON).
  bool outIsTerminal = false;
  bool errIsTerminal = false;
  // Runs the agent server on standard input and output; never returns.
  std::function<void()> serveAgents;
};

// The usage message, without a final line break.
extern const std::string_view kUsageText;

// Runs the command that `arguments` (the process's arguments without its own path) name.
// Throws UsageError, AppConnection::Failure, or FileReadError; prints nothing of a command
// whose request failed. Does not return for "mcp".
void runCommand(const std::vector<std::string>& arguments, Services& services);

}  // namespace nolt::commands
