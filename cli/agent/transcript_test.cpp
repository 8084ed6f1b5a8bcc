// Runs every transcript in testdata/ through serve(), the loop nolt mcp runs. A transcript is
// one behaviour; its lines are:
//   > LINE       a line sent to the server (">" alone sends an empty line)
//   < JSON       the next reply expected, compared as JSON
//   = CMD JSON   from here on the host answers CMD ("*": any other) with this reply record
//   @ CMD JSON   the next host request expected, with these arguments
//   # ...        a comment
// A line starting with a space continues the JSON of the entry above it. Each ">" line is
// served on its own, and must give exactly the "<" and "@" lines that follow it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/agent/rpc_loop.h"
#include "cli/agent/substitute_host.h"

namespace nolt::agent {
namespace {

using wire::JSONValue;

struct Step {
  std::string sent;
  std::vector<std::string> replies;
  std::vector<std::pair<std::string, std::string>> requests;  // command, arguments
  std::map<std::string, std::string> script;                  // host replies set before it
  int line = 0;
};

std::vector<Step> readTranscript(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<Step> steps;
  std::map<std::string, std::string> script;
  std::string* open = nullptr;  // the JSON a continuation line extends
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    if (!text.empty() && text[0] == ' ' && open) {
      open->append(text);
      continue;
    }
    open = nullptr;
    if (text.empty() || text[0] == '#') continue;
    std::string rest = text.size() > 2 ? text.substr(2) : "";
    std::string command = rest.substr(0, rest.find(' '));
    std::string json = rest.find(' ') == std::string::npos ? "" : rest.substr(rest.find(' ') + 1);
    switch (text[0]) {
      case '>':
        steps.push_back({rest, {}, {}, script, number});
        break;
      case '<':
        if (steps.empty()) ADD_FAILURE() << file << ":" << number << ": reply before a request";
        steps.back().replies.push_back(rest);
        open = &steps.back().replies.back();
        break;
      case '=':
        script[command] = json;
        open = &script[command];
        break;
      case '@':
        if (steps.empty()) ADD_FAILURE() << file << ":" << number << ": host request first";
        steps.back().requests.emplace_back(command, json);
        open = &steps.back().requests.back().second;
        break;
      default:
        ADD_FAILURE() << file << ":" << number << ": unknown line " << text;
    }
  }
  return steps;
}

void runTranscript(const std::filesystem::path& file) {
  std::vector<Step> steps = readTranscript(file);
  ASSERT_FALSE(steps.empty()) << file;
  for (const Step& step : steps) {
    SCOPED_TRACE(file.filename().string() + ":" + std::to_string(step.line));
    testing::SubstituteHost host;
    for (const auto& [command, reply] : step.script)
      host.replies[command] = wire::CLIResponse::decode(reply);
    std::istringstream input(step.sent + "\n");
    std::ostringstream output;
    serve(input, output, host.exchange());

    std::vector<std::string> lines;
    std::istringstream written(output.str());
    for (std::string line; std::getline(written, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), step.replies.size()) << output.str();
    for (std::size_t i = 0; i < lines.size(); ++i)
      EXPECT_EQ(JSONValue::decode(lines[i]), JSONValue::decode(step.replies[i])) << lines[i];

    ASSERT_EQ(host.requests.size(), step.requests.size());
    for (std::size_t i = 0; i < host.requests.size(); ++i) {
      EXPECT_EQ(host.requests[i].command, step.requests[i].first);
      EXPECT_EQ(JSONValue(host.requests[i].arguments), JSONValue::decode(step.requests[i].second));
    }
  }
}

TEST(TranscriptTest, EveryTranscriptRunsAsWritten) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(NOLT_AGENT_TRANSCRIPTS))
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) runTranscript(file);
}

}  // namespace
}  // namespace nolt::agent
