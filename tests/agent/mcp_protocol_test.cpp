// nolt mcp as agent clients run it: raw lines in, one reply line per request out, nothing on
// standard error, status 0 at the end of input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/agent/mcp_process.h"
#include "tests/support/test_host_process.h"
#include "wire/json_value.h"

namespace nolt::agent_tests {
namespace {

using test_support::TempDir;
using test_support::TestHostProcess;
using wire::JSONValue;

// ctest names the folder of the built programs; run by hand, the build's own is used.
const std::string kNolt =
    std::string(std::getenv("NOLT_BIN") ? std::getenv("NOLT_BIN") : NOLT_BIN_DIR) + "/nolt";
const std::string kParseError =
    R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error"}})";

void expectCleanExit(MCPProcess& server) {
  server.finish();
  ASSERT_TRUE(server.status());
  EXPECT_TRUE(WIFEXITED(*server.status()) && WEXITSTATUS(*server.status()) == 0)
      << "wait status " << *server.status();
  EXPECT_EQ(server.errorOutput(), "");
}

// Runs nolt mcp over `input` as one write and returns its output lines.
std::vector<std::string> replies(const std::string& input, const TempDir& home) {
  MCPProcess server(kNolt, agentClientEnvironment(home.path()));
  EXPECT_TRUE(server.started());
  EXPECT_TRUE(server.send(input));
  server.finish();
  EXPECT_TRUE(server.status() && WIFEXITED(*server.status()) && WEXITSTATUS(*server.status()) == 0);
  EXPECT_EQ(server.errorOutput(), "");
  std::vector<std::string> lines;
  std::string rest = server.remainingOutput();
  EXPECT_TRUE(rest.empty() || rest.back() == '\n') << "unterminated reply";
  for (std::size_t at = 0, feed; (feed = rest.find('\n', at)) != std::string::npos; at = feed + 1)
    lines.push_back(rest.substr(at, feed - at));
  return lines;
}

TEST(MCPProtocolTest, RawLinesGetTheirRepliesByteForByte) {
  TempDir home;
  struct Case {
    std::string input;
    std::vector<std::string> output;
  };
  const Case cases[] = {
      {"{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"}\n",
       {R"({"jsonrpc":"2.0","id":1,"result":{}})"}},
      // A carriage return before the line feed, and a last line without one.
      {"{\"id\":\"a/b\",\"method\":\"ping\"}\r\n{\"id\":null,\"method\":\"ping\"}",
       {R"({"jsonrpc":"2.0","id":"a/b","result":{}})",
        R"({"jsonrpc":"2.0","id":null,"result":{}})"}},
      {"\n   \n{\"id\":1,\n", {kParseError, kParseError, kParseError}},
      {"[{\"id\":1,\"method\":\"ping\"}]\n42\n{\"method\":\"ping\"}\n", {}},
      {"{\"id\":7,\"method\":7}\n",
       {R"({"jsonrpc":"2.0","id":7,"error":{"code":-32601,"message":"Method not found: 7"}})"}},
      // Invalid UTF-8 is replaced, not refused.
      {"{\"id\":\"\xC3\x28\",\"method\":\"ping\"}\n",
       {"{\"jsonrpc\":\"2.0\",\"id\":\"\xEF\xBF\xBD(\",\"result\":{}}"}},
      {"", {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(replies(c.input, home), c.output) << ::testing::PrintToString(c.input);
}

TEST(MCPProtocolTest, EachReplyIsFlushedBeforeTheNextRequest) {
  TempDir home;
  MCPProcess server(kNolt, agentClientEnvironment(home.path()));
  ASSERT_TRUE(server.started());
  for (int id = 1; id <= 3; ++id) {
    ASSERT_TRUE(server.send("{\"id\":" + std::to_string(id) + ",\"method\":\"tools/list\"}\n"));
    auto line = server.readLine();
    ASSERT_TRUE(line) << "no reply while the input stays open";
    JSONValue reply = JSONValue::decode(*line);
    EXPECT_EQ(*reply.subscript("id"), JSONValue(id));
    EXPECT_EQ(reply.subscript("result")->subscript("tools")->array()->size(), 11u);
  }
  expectCleanExit(server);
}

TEST(MCPProtocolTest, LinesOfMegabytesAreRead) {
  TempDir home;
  // 32 MB of params in one line, then a short request; reading must keep pace with the data.
  std::string big = "{\"id\":\"big\",\"method\":\"ping\",\"params\":{\"pad\":\"" +
                    std::string(32 << 20, 'x') + "\"}}\n{\"id\":2,\"method\":\"ping\"}\n";
  EXPECT_EQ(replies(big, home),
            (std::vector<std::string>{R"({"jsonrpc":"2.0","id":"big","result":{}})",
                                      R"({"jsonrpc":"2.0","id":2,"result":{}})"}));
}

TEST(MCPProtocolTest, AClientThatStopsReadingEndsTheServerWithoutASignal) {
  TempDir home;
  MCPProcess server(kNolt, agentClientEnvironment(home.path()));
  ASSERT_TRUE(server.send("{\"id\":1,\"method\":\"ping\"}\n"));
  ASSERT_TRUE(server.readLine());
  server.closeOutput();
  // Its next reply meets a closed pipe; it must end by itself, quietly.
  ASSERT_TRUE(server.send("{\"id\":2,\"method\":\"ping\"}\n"));
  server.finish();
  ASSERT_TRUE(server.status());
  EXPECT_TRUE(WIFEXITED(*server.status())) << "signal " << WTERMSIG(*server.status());
  EXPECT_EQ(server.errorOutput(), "");
}

// Agent clients start servers with HOME, PATH, SHELL, TERM, USER and LOGNAME only. The host,
// started in the desktop session, serves in that session's runtime directory; nolt mcp must
// find it from that bare environment.
TEST(MCPProtocolTest, BareAgentEnvironmentFindsTheSessionHost) {
  TempDir home, scratch;
  std::string perUser = "/run/user/" + std::to_string(getuid());
  struct stat st {};
  bool perUserIsOurs =
      lstat(perUser.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
  std::string runtime;
  if (perUserIsOurs) {
    // The desktop session's own folder: only used when no host of the user is there.
    if (std::filesystem::exists(perUser + "/group.app.nolt.cli") ||
        std::filesystem::exists(perUser + "/app.nolt.Nolt.instance"))
      GTEST_SKIP() << perUser << " holds a host of this user; not touching it";
    runtime = perUser;
  } else {
    // No per-user runtime folder on this machine: the rule falls back to the shared
    // container under HOME, which the session's host then uses too.
    std::filesystem::create_directories(home.path() + "/.local/share");
    runtime = home.path() + "/.local/share/group.app.nolt";
  }
  ASSERT_TRUE(scratch.write("replies.json",
                            R"({"spaces":{"result":[{"id":"S","emoji":"x","name":"Work"}]}})"));
  std::map<std::string, std::string> session =
      test_support::sessionEnvironment(home.path(), runtime);
  {
    TestHostProcess host({"--replies", scratch.file("replies.json")}, session);
    ASSERT_TRUE(host.ready());
    MCPProcess server(kNolt, agentClientEnvironment(home.path()));
    ASSERT_TRUE(server.send(
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"list_spaces"}})"
        "\n"));
    auto line = server.readLine();
    ASSERT_TRUE(line);
    JSONValue reply = JSONValue::decode(*line);
    const JSONValue* result = reply.subscript("result");
    ASSERT_TRUE(result) << *line;
    EXPECT_EQ(result->subscript("isError"), nullptr) << *line;
    EXPECT_EQ(JSONValue::decode(
                  *result->subscript("content")->array()->at(0).subscript("text")->string()),
              JSONValue::decode(R"([{"id":"S","emoji":"x","name":"Work"}])"));
    expectCleanExit(server);
  }
  if (perUserIsOurs) std::filesystem::remove(perUser + "/app.nolt.Nolt.instance");
}

}  // namespace
}  // namespace nolt::agent_tests
