#include "cli/agent/rpc_loop.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "cli/agent/substitute_host.h"

namespace nolt::agent {
namespace {

using wire::JSONValue;

// A source that hands out `bytes` at most `step` bytes per read, counting the reads.
LineReader::Source chunks(std::string bytes, std::size_t step, int* reads = nullptr) {
  return [bytes = std::move(bytes), step, reads, at = std::size_t{0}](
             char* buffer, std::size_t capacity) mutable {
    if (reads) ++*reads;
    std::size_t n = std::min({step, capacity, bytes.size() - at});
    bytes.copy(buffer, n, at);
    at += n;
    return n;
  };
}

std::vector<std::string> linesOf(const std::string& bytes, std::size_t step) {
  LineReader reader(chunks(bytes, step));
  std::vector<std::string> lines;
  while (auto line = reader.next()) lines.emplace_back(*line);
  return lines;
}

TEST(LineReaderTest, SplitsAtLineFeedsWhateverTheReadSizes) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"\n", {""}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},        // the last line needs no line feed
      {"a\r\r\n", {"a\r"}},          // only the carriage return right before the feed goes
      {"a\rb\n\r", {"a\rb", "\r"}},  // a lone one stays, even at the very end
      {"\n\n x \n", {"", "", " x "}},
  };
  for (const Case& c : cases) {
    for (std::size_t step : {1, 2, 3, 1 << 20}) {
      EXPECT_EQ(linesOf(c.bytes, step), c.lines) << ::testing::PrintToString(c.bytes) << step;
    }
  }
}

TEST(LineReaderTest, ReadsALongLineInLargeReads) {
  // A 16 MB line arrives in 64 kB reads; re-scanning or re-copying it per read would
  // take minutes, not milliseconds. Its read ends right after its line feed, so the reader
  // lets go of the big buffer before it reads on.
  std::string big(16 << 20, 'A');
  big.back() = '\n';
  int reads = 0;
  LineReader reader(chunks(big + "B\nC", 64 * 1024, &reads));
  auto first = reader.next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size(), big.size() - 1);
  EXPECT_EQ(reader.next(), std::optional<std::string_view>("B"));
  EXPECT_EQ(reader.next(), std::optional<std::string_view>("C"));
  EXPECT_EQ(reader.next(), std::nullopt);
  EXPECT_LE(reads, 16 * 16 + 3);
}

TEST(ReplyToTest, WritesCompactLinesWithSlashesUnescaped) {
  testing::SubstituteHost host;
  host.replies["search"] = {JSONValue::decode(R"({"url":"https://a/b"})"), std::nullopt};
  MCPServer server(host.exchange());
  auto reply = replyTo(server, R"({"id":"a/b","method":"tools/call","params":{"name":"search"}})");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->find('\n'), std::string::npos);
  EXPECT_EQ(reply->find("\\/"), std::string::npos) << *reply;
  EXPECT_EQ(JSONValue::decode(*reply),
            JSONValue::decode(R"({"jsonrpc":"2.0","id":"a/b","result":{"content":[{"type":"text",
                "text":"{\n  \"url\" : \"https://a/b\"\n}"}]}})"));
}

TEST(ReplyToTest, InvalidUTF8IsReplacedBeforeParsing) {
  testing::SubstituteHost host;
  host.replies["search"] = {JSONValue(nullptr), std::nullopt};
  MCPServer server(host.exchange());
  auto reply = replyTo(server,
                       "{\"id\":\"\xFF\",\"method\":\"tools/call\",\"params\":"
                       "{\"name\":\"search\",\"arguments\":{\"query\":\"a\xE2\x82\"}}}");
  ASSERT_TRUE(reply);
  EXPECT_EQ(JSONValue::decode(*reply).subscript("id")->stringValue(), "\xEF\xBF\xBD");
  ASSERT_EQ(host.requests.size(), 1u);
  EXPECT_EQ(host.requests[0].arguments.find("query")->stringValue(), "a\xEF\xBF\xBD");
}

TEST(ReplyToTest, LargeIntegerIdsComeBackAsWrittenWithinDoublePrecision) {
  MCPServer server(testing::SubstituteHost().exchange());
  EXPECT_EQ(replyTo(server, R"({"id":9007199254740992,"method":"ping"})"),
            R"({"jsonrpc":"2.0","id":9007199254740992,"result":{}})");
  EXPECT_EQ(replyTo(server, R"({"id":-0,"method":"ping"})"),
            R"({"jsonrpc":"2.0","id":0,"result":{}})");
}

TEST(ReplyToTest, ReadsOnlyTheRequestsOwnIdMethodAndParamsTheLastOfEachName) {
  MCPServer server(testing::SubstituteHost().exchange());
  const std::string ping = R"(,"result":{}})";
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {R"({"id":1,"id":2,"method":"ping"})", R"({"jsonrpc":"2.0","id":2)" + ping},
      {R"({"method":"nope","id":3,"method":"ping"})", R"({"jsonrpc":"2.0","id":3)" + ping},
      {R"({"id":{"k":[true,false,null,{"id":4}]},"method":"ping"})",
       R"({"jsonrpc":"2.0","id":{"k":[true,false,null,{"id":4}]})" + ping},
      {R"({"id":null,"method":"ping"})", R"({"jsonrpc":"2.0","id":null)" + ping},
      // Members of nested values are not the request's.
      {R"({"params":{"id":1},"method":"ping"})", std::nullopt},
      {R"({"x":{"id":1,"method":"ping"}})", std::nullopt},
      {R"([{"id":1,"method":"ping"}])", std::nullopt},
      {R"({"x":[{"id":[5]}],"id":[6,{"method":"x"}],"y":{"z":{}},"method":"ping"})",
       R"({"jsonrpc":"2.0","id":[6,{"method":"x"}])" + ping},
      // Members that are not kept must still be valid JSON.
      {R"({"x":1e999,"id":1,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error"}})"},
  };
  for (const auto& [line, reply] : cases) EXPECT_EQ(replyTo(server, line), reply) << line;

  auto initialized =
      replyTo(server, R"({"params":{"protocolVersion":"a"},"id":7,"method":"initialize",)"
                      R"("params":{"protocolVersion":"b","params":{"protocolVersion":"c"}}})");
  ASSERT_TRUE(initialized);
  JSONValue reply = JSONValue::decode(*initialized);
  EXPECT_EQ(reply.subscript("result")->subscript("protocolVersion")->stringValue(), "b");
}

TEST(ServeTest, AnswersEveryLineInOrderAndEndsWithItsInput) {
  std::istringstream in(
      "{\"id\":1,\"method\":\"ping\"}\r\n"
      "{\"method\":\"ping\"}\n"
      "\n"
      "{\"id\":2,\"method\":\"nope\"}");
  std::ostringstream out;
  serve(in, out, testing::SubstituteHost().exchange());
  EXPECT_EQ(out.str(),
            "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":{}}\n"
            "{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":-32700,\"message\":\"Parse "
            "error\"}}\n"
            "{\"jsonrpc\":\"2.0\",\"id\":2,\"error\":{\"code\":-32601,\"message\":\"Method not "
            "found: nope\"}}\n");
}

TEST(ServeTest, RepliesLeaveBeforeTheNextLineArrives) {
  int toServer[2], fromServer[2];
  ASSERT_EQ(pipe(toServer), 0);
  ASSERT_EQ(pipe(fromServer), 0);
  std::thread server([&] {
    serve(toServer[0], fromServer[1], testing::SubstituteHost().exchange());
    close(fromServer[1]);
  });
  FILE* replies = fdopen(fromServer[0], "r");
  char line[256];
  for (int id = 0; id < 3; ++id) {
    std::string request = "{\"id\":" + std::to_string(id) + ",\"method\":\"ping\"}\n";
    ASSERT_EQ(write(toServer[1], request.data(), request.size()), ssize_t(request.size()));
    // The pipe stays open, so this blocks unless the reply was flushed at once.
    ASSERT_NE(fgets(line, sizeof line, replies), nullptr);
    EXPECT_EQ(std::string(line),
              "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) + ",\"result\":{}}\n");
  }
  close(toServer[1]);
  server.join();
  EXPECT_EQ(fgets(line, sizeof line, replies), nullptr);
  fclose(replies);
  close(toServer[0]);
}

TEST(ServeTest, AClosedOutputEndsServingWithoutSignal) {
  int toServer[2], fromServer[2];
  ASSERT_EQ(pipe(toServer), 0);
  ASSERT_EQ(pipe(fromServer), 0);
  close(fromServer[0]);  // the client has gone
  const std::string requests = "{\"id\":1,\"method\":\"ping\"}\n{\"id\":2,\"method\":\"ping\"}\n";
  ASSERT_EQ(write(toServer[1], requests.data(), requests.size()), ssize_t(requests.size()));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    serve(toServer[0], fromServer[1], testing::SubstituteHost().exchange());
    _exit(0);
  }
  close(toServer[1]);
  close(fromServer[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  close(toServer[0]);
}

}  // namespace
}  // namespace nolt::agent
