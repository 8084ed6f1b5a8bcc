#include "cli/commands/dispatch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/commands/arguments.h"
#include "cli/link/app_connection.h"
#include "tests/support/temp_dir.h"
#include "wire/cli_records.h"

namespace nolt::commands {
namespace {

using link::AppConnection;
using wire::CLIRequest;
using wire::JSONObject;
using wire::JSONValue;

// Services that record each request and answer from a table by command name.
struct FakeHost {
  std::vector<CLIRequest> requests;
  std::map<std::string, JSONValue> results;
  std::optional<std::string> failOn;  // a command the host answers with an error
  std::string out, err;
  bool servedAgents = false;

  Services services() {
    Services s{.send =
                   [this](std::string_view command, const JSONObject& arguments) {
                     return answer(CLIRequest{std::string(command), arguments});
                   },
               .sendStreamed =
                   [this](std::uint32_t length, const AppConnection::StreamedRequest& produce) {
                     std::string text;
                     produce([&](std::string_view piece) {
                       text += piece;
                       return true;
                     });
                     EXPECT_EQ(text.size(), length);
                     return answer(CLIRequest::decode(text));
                   },
               .out = [this](std::string_view text) { out += text; },
               .err = [this](std::string_view text) { err += text; },
               .serveAgents = [this] { servedAgents = true; }};
    return s;
  }

  JSONValue answer(CLIRequest request) {
    requests.push_back(request);
    if (failOn == request.command) throw AppConnection::Failure::app("The host said no.");
    auto found = results.find(request.command);
    return found == results.end() ? JSONValue() : found->second;
  }

  // Runs and returns the usage error's text, or "" when there was none.
  std::string run(std::vector<std::string> arguments, Services* custom = nullptr) {
    Services s = services();
    try {
      runCommand(arguments, custom ? *custom : s);
    } catch (const UsageError& error) {
      return error.what();
    }
    return "";
  }
};

const std::string kUsage = std::string(kUsageText) + "\n";

TEST(DispatchTest, EachCommandSendsItsRequest) {
  struct Case {
    std::vector<std::string> arguments;
    const char* command;
    const char* arguments_;  // JSON text
  } cases[] = {
      {{"search", "red", "chair", "--limit", "5"}, "search", R"({"query":"red chair","limit":5})"},
      {{"--space", "Work", "search", "red", "chair"},
       "search",
       R"({"query":"red chair","space":"Work"})"},
      {{"search", "--space", "A", "--space", "B", "chair", "--collection", ""},
       "search",
       R"({"query":"chair","space":"B","collection":""})"},
      {{"search", "red", "--space"}, "search", R"({"query":"red --space"})"},
      {{"search"}, "search", R"({"query":""})"},
      {{"search", "--limit", "abc"}, "search", R"({"query":""})"},
      {{"search", "--limit", "2.5"}, "search", R"({"query":""})"},
      {{"search", "--limit", " 5"}, "search", R"({"query":""})"},
      {{"search", "--limit", "-3"}, "search", R"({"query":"","limit":-3})"},
      {{"search", "--limit", "+7"}, "search", R"({"query":"","limit":7})"},
      {{"search", "--limit", "99999999999999999999"}, "search", R"({"query":""})"},
      {{"show", "a", "b"}, "item", R"({"id":"a"})"},
      {{"open", "X1"}, "open", R"({"id":"X1"})"},
      {{"taste", "ignored", "--space", "S", "--collection", "C"},
       "taste",
       R"({"space":"S","collection":"C"})"},
      {{"brief", "Mood", "board", "--space", "S", "--collection", "C"},
       "brief",
       R"({"collection":"Mood board","space":"S"})"},
      {{"notes", "--rules", "--rule"}, "notes", R"({"query":"","rules_only":true})"},
      {{"notes", "grid", "--space", "S", "--collection", "C"},
       "notes",
       R"({"query":"grid","space":"S","collection":"C"})"},
      {{"note", "buy", "milk", "--tag", "home", "--tag", "later", "--rules"},
       "add_note",
       R"({"text":"buy milk","tags":["home","later"]})"},
      {{"note", "x", "--rule", "--space", "S", "--collection", "C"},
       "add_note",
       R"({"text":"x","tags":[],"rule":true,"space":"S","collection":"C"})"},
      {{"spaces", "a", "--space", "S"}, "spaces", "{}"},
      {{"collections", "--space", "S"}, "collections", R"({"space":"S"})"},
      {{"add", "https://a.example/x", "--tag", "a", "--tag", "b", "--space", "W", "--note", "n"},
       "add_link",
       R"({"url":"https://a.example/x","tags":["a","b"],"space":"W","note":"n"})"},
      {{"add", "http://a.example", "--collection", "C"},
       "add_link",
       R"({"url":"http://a.example","tags":[],"collection":"C"})"},
  };
  for (const Case& c : cases) {
    FakeHost host;
    EXPECT_EQ(host.run(c.arguments), "");
    ASSERT_EQ(host.requests.size(), 1u) << c.arguments[0];
    EXPECT_EQ(host.requests[0].command, c.command);
    EXPECT_EQ(JSONValue(host.requests[0].arguments), JSONValue::decode(c.arguments_))
        << c.arguments_;
  }
}

TEST(DispatchTest, UsageAndUsageErrorsSendNothing) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;  // empty: the usage text on standard output
  } cases[] = {
      {{}, ""},
      {{"--json"}, ""},
      {{"help"}, ""},
      {{"-h"}, ""},
      {{"--help"}, ""},
      {{"help", "search"}, ""},
      {{"--help", "search"}, ""},
      {{"show"}, "nolt show <id>"},
      {{"open", "--json"}, "nolt open <id>"},
      {{"add"}, "nolt add <url|file…>"},
      {{"brief", "--collection", "X"}, "nolt brief <collection>"},
      {{"note", "--rule"}, "nolt note <text…>"},
      {{"HELP"}, "Unknown command “HELP”.\n\n" + std::string(kUsageText)},
      {{"Search", "x"}, "Unknown command “Search”.\n\n" + std::string(kUsageText)},
      {{"--space"}, "Unknown command “--space”.\n\n" + std::string(kUsageText)},
  };
  for (const Case& c : cases) {
    FakeHost host;
    EXPECT_EQ(host.run(c.arguments), c.error);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(host.out, c.error.empty() ? kUsage : "");
    EXPECT_EQ(host.err, "");
  }
}

TEST(DispatchTest, UsageTextEndsWithItsLastLineAndNoBreak) {
  EXPECT_TRUE(kUsageText.starts_with("Usage: nolt <command> [options]\n\n  search <words…>"));
  EXPECT_TRUE(kUsageText.ends_with("\n\nNolt must allow it: Settings → Integrations."));
  EXPECT_EQ(std::count(kUsageText.begin(), kUsageText.end(), '\n'), 27);
}

TEST(DispatchTest, PrintsEachFormToItsStream) {
  const JSONValue searchResult = JSONValue::decode(
      R"({"items":[{"id":"1","title":"Red\u001b[2Jchair","tags":["x"]}],"total":9})");
  struct Case {
    std::vector<std::string> arguments;
    bool terminal;
    std::string out, err;
  } cases[] = {
      {{"search", "x"}, false, "1  Red\x1b[2Jchair  #x\n", "1 of 9 items\n"},
      {{"search", "x"}, true, "1  Red\xEF\xBF\xBD[2Jchair  #x\n", "1 of 9 items\n"},
      {{"search", "x", "--json"}, true, searchResult.prettyText() + "\n", ""},
      {{"show", "1"}, false, "{\n  \"id\" : \"1\"\n}\n", ""},
      {{"taste", "--json"}, false, "null\n", ""},
      {{"notes", "--json"}, false, "null\n", ""},
      {{"spaces"}, false, "S  Work\n", ""},
      {{"spaces", "--json"},
       false,
       "[\n  {\n    \"id\" : \"S\",\n    \"name\" : \"Work\"\n  }\n]\n",
       ""},
      {{"collections"}, false, "", ""},
      {{"note", "hi", "--json"}, false, "Saved note N\n", ""},
      {{"open", "1"}, false, "", ""},
  };
  for (const Case& c : cases) {
    FakeHost host;
    host.results["search"] = searchResult;
    host.results["item"] = JSONValue::decode(R"({"id":"1"})");
    host.results["spaces"] = JSONValue::decode(R"([{"id":"S","name":"Work"}])");
    host.results["add_note"] = JSONValue::decode(R"({"id":"N"})");
    Services s = host.services();
    s.outIsTerminal = s.errIsTerminal = c.terminal;
    EXPECT_EQ(host.run(c.arguments, &s), "");
    EXPECT_EQ(host.out, c.out) << c.arguments[0];
    EXPECT_EQ(host.err, c.err) << c.arguments[0];
  }
}

// A terminal shows what it cannot obey safely; files and pipes get every byte as sent.
TEST(DispatchTest, TerminalShowsControlsThatPipesCarry) {
  const std::string kShown = "\xEF\xBF\xBD";
  struct Case {
    const char* name;
    std::string character;  // UTF-8
    std::string escaped;    // on a terminal, inside JSON; "" when it is shown as it is
  } cases[] = {
      {"DEL", "\x7F", "\\u007f"},
      {"first C1", "\xC2\x80", "\\u0080"},
      {"CSI", "\xC2\x9B", "\\u009b"},
      {"last C1", "\xC2\x9F", "\\u009f"},
      {"left-to-right embedding", "\xE2\x80\xAA", "\\u202a"},
      {"right-to-left override", "\xE2\x80\xAE", "\\u202e"},
      {"left-to-right isolate", "\xE2\x81\xA6", "\\u2066"},
      {"pop directional isolate", "\xE2\x81\xA9", "\\u2069"},
      {"no-break space", "\xC2\xA0", ""},
      {"narrow no-break space", "\xE2\x80\xAF", ""},
      {"after the isolates", "\xE2\x81\xAA", ""},
      {"right-to-left mark", "\xE2\x80\x8F", ""},
  };
  for (const Case& c : cases) {
    std::string title = "a" + c.character + "b";
    JSONValue result{
        JSONObject{{"items", wire::JSONArray{JSONObject{{"id", "1"}, {"title", title}}}}}};
    std::string json = result.prettyText() + "\n";
    std::string terminalJSON = json;
    if (!c.escaped.empty())
      terminalJSON.replace(json.find(c.character), c.character.size(), c.escaped);
    struct Run {
      std::vector<std::string> arguments;
      bool terminal;
      std::string out;
    } runs[] = {
        {{"search", "x"}, false, "1  " + title + "\n"},
        {{"search", "x"}, true, "1  a" + (c.escaped.empty() ? c.character : kShown) + "b\n"},
        {{"search", "x", "--json"}, false, json},
        {{"search", "x", "--json"}, true, terminalJSON},
        {{"show", "1"}, true, terminalJSON},
    };
    for (const Run& run : runs) {
      FakeHost host;
      host.results["search"] = host.results["item"] = result;
      Services s = host.services();
      s.outIsTerminal = run.terminal;
      EXPECT_EQ(host.run(run.arguments, &s), "");
      EXPECT_EQ(host.out, run.out)
          << c.name << ", " << run.arguments.back() << ", terminal " << run.terminal;
    }
  }
}

TEST(DispatchTest, FailedRequestPrintsNothing) {
  FakeHost host;
  host.failOn = "search";
  EXPECT_THROW(host.run({"search", "x"}), AppConnection::Failure);
  EXPECT_EQ(host.out, "");
  EXPECT_EQ(host.err, "");
}

TEST(DispatchTest, MCPHandsOverWhateverFollows) {
  FakeHost host;
  EXPECT_EQ(host.run({"mcp", "--json", "x", "--space"}), "");
  EXPECT_TRUE(host.servedAgents);
  EXPECT_TRUE(host.requests.empty());
}

TEST(DispatchTest, AddSavesWordsInOrderAndStopsAtTheFirstFailure) {
  test_support::TempDir folder;
  ASSERT_FALSE(folder.path().empty());
  const std::string& dir = folder.path();
  std::ofstream(dir + "/a.png", std::ios::binary) << "png";
  std::ofstream(dir + "/b.txt") << "text";

  for (bool encoded : {true, false}) {
    FakeHost host;
    Services s = host.services();
    if (!encoded) s.sendStreamed = nullptr;
    host.failOn = "add_link";
    std::vector<std::string> words = {"add", dir + "/a.png",      "--tag",       "a", "--space",
                                      "W",   "https://x.example", dir + "/b.txt"};
    EXPECT_THROW(host.run(words, &s), AppConnection::Failure);
    ASSERT_EQ(host.requests.size(), 2u);
    EXPECT_EQ(JSONValue(host.requests[0].arguments),
              JSONValue::decode(R"({"name":"a.png","data":"cG5n","tags":["a"],"space":"W"})"));
    EXPECT_EQ(host.out, "Saving " + dir + "/a.png\n");

    // A refused file ends the run before its request.
    FakeHost second;
    Services t = second.services();
    if (!encoded) t.sendStreamed = nullptr;
    try {
      second.run({"add", dir + "/a.png", dir + "/b.txt", dir + "/a.png"}, &t);
      ADD_FAILURE() << "b.txt was accepted";
    } catch (const AppConnection::Failure& failure) {
      EXPECT_STREQ(failure.what(), "Nolt saves images, videos and PDFs; b.txt isn't one.");
    }
    EXPECT_EQ(second.requests.size(), 1u);
    EXPECT_EQ(second.out, "Saving " + dir + "/a.png\n");
  }
}

}  // namespace
}  // namespace nolt::commands
