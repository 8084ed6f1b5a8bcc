// cli/agent/substitute_host.h - a host exchange for tests of the agent server.
// It records every request and answers each command as scripted; a command without a
// script is answered as if no host were installed.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cli/agent/mcp_server.h"
#include "cli/link/app_connection.h"
#include "wire/cli_records.h"

namespace nolt::agent::testing {

struct SubstituteHost {
  struct Request {
    std::string command;
    wire::JSONObject arguments;
  };

  std::vector<Request> requests;
  // Command name to the host's reply; "*" answers every command without an entry of its own.
  std::map<std::string, wire::CLIResponse, std::less<>> replies;

  HostExchange exchange() {
    return [this](std::string_view command, const wire::JSONObject& arguments) {
      requests.push_back({std::string(command), arguments});
      auto it = replies.find(command);
      if (it == replies.end()) it = replies.find("*");
      if (it == replies.end()) throw link::AppConnection::Failure::notRunning();
      if (it->second.error) throw link::AppConnection::Failure::app(*it->second.error);
      const std::optional<wire::JSONValue>& result = it->second.result;
      return result ? *result : wire::JSONValue();
    };
  }
};

}  // namespace nolt::agent::testing

namespace nolt::wire {

// Test failures show values as JSON text.
inline void PrintTo(const JSONValue& value, std::ostream* out) {
  *out << value.encode(JSONEncoding::stream);
}

}  // namespace nolt::wire
