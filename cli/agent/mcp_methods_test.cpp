#include <gtest/gtest.h>

#include <set>

#include "cli/agent/mcp_server.h"
#include "cli/agent/substitute_host.h"

namespace nolt::agent {
namespace {

using wire::JSONObject;
using wire::JSONValue;

TEST(ToolCatalogueTest, ElevenToolsWithUniqueNamesAndCommands) {
  const auto& tools = MCPServer::tools();
  ASSERT_EQ(tools.size(), 11u);
  std::set<std::string> names, commands, writers;
  for (const auto& tool : tools) {
    names.insert(tool.name);
    commands.insert(tool.command);
    if (!tool.readOnly) writers.insert(tool.name);
    for (const auto& required : tool.required)
      EXPECT_TRUE(tool.properties.contains(required)) << tool.name << " " << required;
    for (const auto& [name, schema] : tool.properties) {
      EXPECT_TRUE(schema.subscript("type")) << tool.name << " " << name;
      EXPECT_TRUE(schema.subscript("description")) << tool.name << " " << name;
    }
  }
  EXPECT_EQ(names.size(), 11u);
  EXPECT_EQ(commands.size(), 11u);
  EXPECT_EQ(writers, (std::set<std::string>{"add_link", "add_file", "add_note"}));
  EXPECT_EQ(&MCPServer::tools(), &tools);  // built once
}

TEST(ToolCatalogueTest, ReadingToolsShareTheSpaceSchemaButTheBriefHasItsOwn) {
  for (const char* name : {"search", "get_taste", "list_notes", "list_collections"})
    EXPECT_EQ(*MCPServer::findTool(name)->properties.find("space"),
              JSONValue(MCPServer::spaceProperty()))
        << name;
  EXPECT_NE(*MCPServer::findTool("get_brief")->properties.find("space"),
            JSONValue(MCPServer::spaceProperty()));
  EXPECT_EQ(MCPServer::findTool("get_brief")->required, std::vector<std::string>{"collection"});
  EXPECT_EQ(MCPServer::findTool("nope"), nullptr);
}

TEST(ToolCatalogueTest, DescriptorHasExactlyItsFourMembers) {
  JSONObject d = MCPServer::descriptor(*MCPServer::findTool("list_spaces"));
  EXPECT_EQ(JSONValue(d), JSONValue::decode(R"({
      "name": "list_spaces",
      "description": "The spaces (separate libraries, like Personal or Work) shared with agents.",
      "inputSchema": {"type": "object", "properties": {}, "required": []},
      "annotations": {"readOnlyHint": true}})"));
}

class MCPMethodsTest : public ::testing::Test {
 protected:
  // The code of the RPCError that handle() raises; 0 when it answers.
  int faultOf(std::string_view method, const JSONValue* params, std::string* message = nullptr) {
    try {
      server.handle(method, params);
    } catch (const MCPServer::RPCError& e) {
      if (message) *message = e.text();
      return e.code();
    }
    return 0;
  }

  testing::SubstituteHost host;
  MCPServer server{host.exchange()};
};

TEST_F(MCPMethodsTest, ToolCallsWithoutAUsableNameAreUnknownTools) {
  const char* params[] = {R"({})", R"({"name":"search "})", R"({"name":true})", R"("search")",
                          R"({"arguments":{"name":"search"}})"};
  for (const char* p : params) {
    JSONValue value = JSONValue::decode(p);
    std::string message;
    EXPECT_EQ(faultOf("tools/call", &value, &message), -32602) << p;
    EXPECT_EQ(message, "Unknown tool");
  }
  EXPECT_EQ(faultOf("tools/call", nullptr), -32602);
  EXPECT_TRUE(host.requests.empty());
}

TEST_F(MCPMethodsTest, KnownToolAlwaysAnswersAResult) {
  // No host at all: the failure is inside the result, not an RPC error.
  JSONValue params = JSONValue::decode(R"({"name":"get_taste","arguments":{"space":"Work"}})");
  JSONValue result = server.handle("tools/call", &params);
  EXPECT_EQ(result, JSONValue::decode(R"({"content":[{"type":"text","text":"Couldn't open Nolt."}],
                                          "isError":true})"));
  ASSERT_EQ(host.requests.size(), 1u);
  EXPECT_EQ(host.requests[0].command, "taste");
}

}  // namespace
}  // namespace nolt::agent
