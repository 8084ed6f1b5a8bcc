#include <gtest/gtest.h>

#include "cli/agent/mcp_server.h"
#include "cli/agent/substitute_host.h"
#include "tests/support/test_host_process.h"

namespace nolt::agent {
namespace {

using link::AppConnection;
using wire::JSONObject;
using wire::JSONValue;

JSONValue errorResult(std::string_view text) {
  return JSONObject{{"content", wire::JSONArray{JSONObject{{"type", "text"}, {"text", text}}}},
                    {"isError", true}};
}

class ToolCallsTest : public ::testing::Test {
 protected:
  JSONValue call(std::string_view tool, std::string_view arguments) {
    JSONValue value = JSONValue::decode(arguments);
    return server.callTool(*MCPServer::findTool(tool), &value);
  }

  testing::SubstituteHost host;
  MCPServer server{host.exchange()};
  test_support::TempDir dir;
};

TEST_F(ToolCallsTest, SuccessfulResultsNeverCarryIsError) {
  host.replies["*"] = {JSONValue::decode(R"({"isError":true,"data":"AA=="})"), std::nullopt};
  for (const auto& tool : MCPServer::tools()) {
    if (tool.name == "add_file") continue;
    JSONValue result = server.callTool(tool, nullptr);
    EXPECT_EQ(result.subscript("isError"), nullptr) << tool.name;
    EXPECT_EQ(result.subscript("content")->array()->size(), 1u) << tool.name;
  }
  EXPECT_EQ(host.requests.size(), 10u);
}

TEST_F(ToolCallsTest, EveryHostFailureBecomesAnErrorResultWithItsText) {
  const AppConnection::Failure failures[] = {
      AppConnection::Failure::notRunning(), AppConnection::Failure::integrationsOff(),
      AppConnection::Failure::noAnswer(), AppConnection::Failure::app("Nothing is called “x”."),
      AppConnection::Failure::app(std::string("e\0f", 3))};
  for (const auto& failure : failures) {
    MCPServer failing([&](std::string_view, const JSONObject&) -> JSONValue { throw failure; });
    EXPECT_EQ(failing.callTool(*MCPServer::findTool("get_brief"), nullptr),
              errorResult(failure.text()));
  }
  // Failures of other kinds are reported with their own description.
  MCPServer encoding([](std::string_view, const JSONObject&) -> JSONValue {
    throw wire::JSONEncodingError("JSON cannot hold the number inf");
  });
  EXPECT_EQ(encoding.callTool(*MCPServer::findTool("search"), nullptr),
            errorResult("JSON cannot hold the number inf"));
}

TEST_F(ToolCallsTest, AddFileSendsTheFileInsteadOfItsPath) {
  std::string pdf = "%PDF-1.4\n" + std::string(1 << 20, '\x01');
  ASSERT_TRUE(dir.write("Board 1.pdf", pdf));
  host.replies["add_file"] = {JSONValue(nullptr), std::nullopt};
  JSONValue args =
      JSONObject{{"path", dir.file("Board 1.pdf")},   {"space", "Work"}, {"collection", "Site"},
                 {"tags", wire::JSONArray{"a", "b"}}, {"note", "n"},     {"unknown", 1}};
  JSONValue result = server.callTool(*MCPServer::findTool("add_file"), &args);
  EXPECT_EQ(result.subscript("isError"), nullptr) << result.prettyText();
  ASSERT_EQ(host.requests.size(), 1u);
  const JSONObject& sent = host.requests[0].arguments;
  EXPECT_EQ(host.requests[0].command, "add_file");
  EXPECT_FALSE(sent.contains("path"));
  EXPECT_EQ(sent.find("name")->stringValue(), "Board 1.pdf");
  // Base64: four characters for every three bytes, padded.
  EXPECT_EQ(sent.find("data")->string()->size(), (pdf.size() + 2) / 3 * 4);
  EXPECT_EQ(sent.find("data")->string()->substr(0, 8), "JVBERi0x");  // "%PDF-1"
  for (const char* kept : {"space", "collection", "tags", "note", "unknown"})
    EXPECT_EQ(*sent.find(kept), *args.subscript(kept)) << kept;
}

TEST_F(ToolCallsTest, AddFileRefusalsReachTheAgentAndSendNothing) {
  ASSERT_TRUE(dir.write("notes.txt", "hello"));
  const std::pair<std::string, std::string> cases[] = {
      {R"({})", "Can't read ."},
      {R"({"path":null})", "Can't read ."},
      {R"({"path":7})", "Can't read 7."},
      {JSONValue(JSONObject{{"path", dir.file("missing.png")}}).encode(wire::JSONEncoding::stream),
       "Can't read " + dir.file("missing.png") + "."},
      {JSONValue(JSONObject{{"path", dir.file("notes.txt")}}).encode(wire::JSONEncoding::stream),
       "Nolt saves images, videos and PDFs; notes.txt isn't one."},
  };
  for (const auto& [arguments, text] : cases)
    EXPECT_EQ(call("add_file", arguments), errorResult(text));
  EXPECT_TRUE(host.requests.empty());
}

TEST_F(ToolCallsTest, ArgumentsThatAreNotAnObjectSendNothing) {
  for (const char* arguments : {"[]", "null", "\"x\"", "3", "false"})
    EXPECT_EQ(call("add_note", arguments), errorResult("Arguments must be an object."))
        << arguments;
  EXPECT_TRUE(host.requests.empty());
}

}  // namespace
}  // namespace nolt::agent
