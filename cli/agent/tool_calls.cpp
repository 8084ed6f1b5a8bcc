// Tool calls: one host request each. The server is a thin pipe: the agent's arguments reach
// the host as they are (the host checks them and applies defaults and limits), and the host's
// result comes back as pretty JSON. Only "add_file" on the way in and "get_image" on the way
// out are handled specially.
#include <exception>

#include "cli/agent/mcp_server.h"
#include "cli/commands/file_intake.h"
#include "cli/link/app_connection.h"

namespace nolt::agent {

using link::AppConnection;
using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

namespace {

constexpr std::string_view kFallbackImageType = "image/jpeg";

JSONObject result(JSONObject item) { return JSONObject{{"content", JSONArray{std::move(item)}}}; }

JSONObject textResult(std::string text) {
  return result(JSONObject{{"type", "text"}, {"text", std::move(text)}});
}

// Failures go inside the result, not into a JSON-RPC error, so the agent can read them.
JSONObject errorResult(std::string text) {
  JSONObject r = textResult(std::move(text));
  r.set("isError", true);
  return r;
}

}  // namespace

JSONObject MCPServer::callTool(const Tool& tool, const JSONValue* arguments) {
  try {
    JSONObject shaped;
    if (arguments) {
      const JSONObject* object = arguments->object();
      if (!object) throw AppConnection::Failure::app("Arguments must be an object.");
      shaped = *object;
    }
    // The host receives the file's name and content, never a path on this computer.
    JSONValue answer;
    if (tool.name == "add_file") {
      const JSONValue* path = shaped.find("path");
      std::string pathText = path ? path->stringValue().value_or("") : "";
      if (sendStreamed_) {
        commands::OpenedFile file = commands::openedFile(pathText, std::move(shaped));
        commands::FileRequest request(tool.command, file);
        answer = sendStreamed_(
            request.length(),
            [&](const commands::FileRequest::PayloadWriter& write) { request.write(write); });
      } else {
        answer = send_(tool.command, commands::fileArguments(pathText, std::move(shaped)));
      }
    } else {
      answer = send_(tool.command, shaped);
    }
    if (tool.name == "get_image") {
      const JSONValue* data = answer.subscript("data");
      if (std::optional<std::string> base64 = data ? data->stringValue() : std::nullopt) {
        const JSONValue* type = answer.subscript("mimeType");
        return result(JSONObject{{"type", "image"},
                                 {"data", std::move(*base64)},
                                 {"mimeType", type ? *type : JSONValue(kFallbackImageType)}});
      }
    }
    return textResult(answer.prettyText());
  } catch (const std::exception& failure) {
    return errorResult(link::errorText(failure));
  }
}

}  // namespace nolt::agent
