// cli/agent/mcp_server.h - the agent server: its four MCP methods, its tools and tool calls.
// The server keeps no state between requests. It reaches the host only through the exchange
// it is given: AppConnection::send in nolt, a substitute in tests. The methods live in
// mcp_methods.cpp, the tool table in tool_catalogue.cpp and tool calls in tool_calls.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/link/app_connection.h"
#include "wire/json_value.h"

namespace nolt::agent {

// One host request: a command and its arguments in, the host's result out. Throws
// AppConnection::Failure, or any other std::exception, when the exchange fails.
using HostExchange =
    std::function<wire::JSONValue(std::string_view command, const wire::JSONObject& arguments)>;
// The same for a request of `length` bytes written piece by piece: how "add_file" sends a file
// without holding it.
using StreamedExchange = std::function<wire::JSONValue(
    std::uint32_t length, const link::AppConnection::StreamedRequest& produce)>;

class MCPServer {
 public:
  // One tool as agents see it, and the host command that serves it.
  struct Tool {
    std::string name;
    std::string description;
    wire::JSONObject properties;  // the JSON schema of each argument
    std::vector<std::string> required;
    std::string command;
    bool readOnly = true;
  };

  // A protocol fault, answered as a JSON-RPC error with this code; text() is the message.
  class RPCError : public link::UserError {
   public:
    RPCError(int code, std::string message) : UserError(std::move(message)), code_(code) {}
    int code() const { return code_; }

   private:
    int code_;
  };

  // Without `sendStreamed`, files go whole through `send`.
  explicit MCPServer(HostExchange send, StreamedExchange sendStreamed = {})
      : send_(std::move(send)), sendStreamed_(std::move(sendStreamed)) {}

  // The eleven tools in the order agents see them; built once, on first use.
  static const std::vector<Tool>& tools();
  // The schema of the "space" argument of the reading tools.
  static const wire::JSONObject& spaceProperty();
  // The first tool of that name; null when there is none.
  static const Tool* findTool(std::string_view name);
  // The tool's entry in "tools/list".
  static wire::JSONObject descriptor(const Tool& tool);

  // The result of one request. `params` is null when the request had none. Throws RPCError
  // for an unknown method or tool; a known tool's failures come back inside its result.
  wire::JSONValue handle(std::string_view method, const wire::JSONValue* params);
  // handle() written as compact JSON text with "/" unescaped; the same failures, and
  // JSONEncodingError when the result cannot be written.
  std::string resultText(std::string_view method, const wire::JSONValue* params);

  // One tool run against the host; `arguments` is null when the call had none. Never throws:
  // every failure becomes a result marked "isError" holding the failure's text.
  wire::JSONObject callTool(const Tool& tool, const wire::JSONValue* arguments);

 private:
  HostExchange send_;
  StreamedExchange sendStreamed_;
};

}  // namespace nolt::agent
