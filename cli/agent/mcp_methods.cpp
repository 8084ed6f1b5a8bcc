// The four MCP methods the server answers. It offers tools only: no resources, prompts,
// logging or sampling, and no session state, so "initialize" may come any number of times.
#include <array>

#include "cli/agent/mcp_server.h"

namespace nolt::agent {

using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

namespace {

constexpr std::string_view kDefaultProtocolVersion = "2025-06-18";
constexpr std::string_view kInstructions =
    "Nolt is the user's library of saved visual references and notes, and the record of their "
    "design taste. Before designing, styling or reviewing UI for them, call get_taste (or "
    "get_brief with the project's collection) and follow its rules. Search it before answering "
    "questions about things they saved, and cite items by title.";

JSONValue initialize(MCPServer&, const JSONValue* params) {
  // The client's own version is echoed whatever it is, so any client can go on talking.
  const JSONValue* version = params ? params->subscript("protocolVersion") : nullptr;
  return JSONObject{
      {"protocolVersion", version ? *version : JSONValue(kDefaultProtocolVersion)},
      {"capabilities", JSONObject{{"tools", JSONObject{}}}},
      {"serverInfo", JSONObject{{"name", "nolt"}, {"version", "1.0"}}},
      {"instructions", kInstructions},
  };
}

JSONValue ping(MCPServer&, const JSONValue*) { return JSONObject{}; }

JSONValue listTools(MCPServer&, const JSONValue*) {
  static const JSONValue list = [] {
    JSONArray descriptors;
    for (const MCPServer::Tool& tool : MCPServer::tools())
      descriptors.emplace_back(MCPServer::descriptor(tool));
    return JSONObject{{"tools", std::move(descriptors)}};
  }();
  return list;
}

JSONValue callNamedTool(MCPServer& server, const JSONValue* params) {
  const JSONValue* name = params ? params->subscript("name") : nullptr;
  std::optional<std::string> text = name ? name->stringValue() : std::nullopt;
  // The message leaves the name out: the agent knows what it asked for.
  const MCPServer::Tool* tool = text ? MCPServer::findTool(*text) : nullptr;
  if (!tool) throw MCPServer::RPCError(-32602, "Unknown tool");
  return server.callTool(*tool, params->subscript("arguments"));
}

struct Method {
  std::string_view name;
  JSONValue (*run)(MCPServer&, const JSONValue* params);
};

// Matched in this order, by exact, case-sensitive name.
constexpr std::array kMethods = {
    Method{"initialize", initialize},
    Method{"ping", ping},
    Method{"tools/list", listTools},
    Method{"tools/call", callNamedTool},
};

}  // namespace

JSONValue MCPServer::handle(std::string_view method, const JSONValue* params) {
  for (const Method& m : kMethods)
    if (m.name == method) return m.run(*this, params);
  throw RPCError(-32601, "Method not found: " + std::string(method));
}

std::string MCPServer::resultText(std::string_view method, const JSONValue* params) {
  // Clients ping and list the tools often, and neither answer ever changes, so each is
  // written once.
  if (method == "ping") {
    static const std::string text = ping(*this, params).encode(wire::JSONEncoding::stream);
    return text;
  }
  if (method == "tools/list") {
    static const std::string text = listTools(*this, params).encode(wire::JSONEncoding::stream);
    return text;
  }
  return handle(method, params).encode(wire::JSONEncoding::stream);
}

}  // namespace nolt::agent
