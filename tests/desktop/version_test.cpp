// Every program answers --version with its name and the project's version, and exits 0,
// without a display, a host or a session bus; the Qt programs also explain their options and
// report a wrong command line there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/desktop/desktop_session.h"

namespace nolt::desktop_tests {
namespace {

TEST(VersionTest, EveryProgramAnswersVersion) {
  test_support::TempDir home;
  Environment environment = {{"HOME", home.path()}, {"PATH", "/usr/bin:/bin"}};
  for (const char* program : {"nolt", "nolt-host", "nolt-share", "nolt-widget"}) {
    SCOPED_TRACE(program);
    for (const char* word : {"--version", "-v"}) {
      // nolt's single-dash words are its command words, so it answers only the long form.
      if (std::string(program) == "nolt" && std::string(word) == "-v") continue;
      Result answer = runTool({std::string(NOLT_BIN_DIR) + "/" + program, word}, environment);
      EXPECT_EQ(answer.status, 0);
      EXPECT_EQ(answer.out, std::string(program) + " " + NOLT_VERSION + "\n");
    }
  }
}

TEST(VersionTest, TheQtProgramsExplainTheirOptions) {
  test_support::TempDir home;
  Environment environment = {{"HOME", home.path()}, {"PATH", "/usr/bin:/bin"}};
  struct Case {
    const char* program;
    const char* word;
    const char* shown;
  };
  for (const Case& c :
       {Case{"nolt-share", "--help", "--text <TEXT>"}, Case{"nolt-share", "-h", "--version"},
        Case{"nolt-widget", "--help", "--family"}, Case{"nolt-widget", "-h", "render"}}) {
    SCOPED_TRACE(std::string(c.program) + " " + c.word);
    Result answer = runTool({std::string(NOLT_BIN_DIR) + "/" + c.program, c.word}, environment);
    EXPECT_EQ(answer.status, 0);
    EXPECT_NE(answer.out.find(c.shown), std::string::npos) << answer.out;
  }
}

TEST(VersionTest, MistakesAreReportedWithoutADisplay) {
  test_support::TempDir home;
  // No DISPLAY: a program that opened the window system first would abort instead.
  Environment environment = {{"HOME", home.path()}, {"PATH", "/usr/bin:/bin"}};
  struct Case {
    std::vector<std::string> words;
    int status;
    const char* shown;
  };
  const Case cases[] = {
      {{"nolt-share", "--bogus", "/tmp/a.png"}, 2, "bogus"},
      {{"nolt-share", "/tmp/a.png", "--text"}, 2, "text"},
      {{"nolt-widget", "--family", "huge"}, 1, "--family must be"},
      {{"nolt-widget", "--colour", "red"}, 1, "colour"},
      {{"nolt-widget", "stray"}, 1, "stray"},
      {{"nolt-widget", "--name"}, 1, "name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.words));
    std::vector<std::string> argv = c.words;
    argv[0] = std::string(NOLT_BIN_DIR) + "/" + argv[0];
    // Standard error into standard output, to read the message.
    std::vector<std::string> shell = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1"};
    shell.insert(shell.end(), argv.begin(), argv.end());
    Result answer = runTool(shell, environment);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_NE(answer.out.find(c.shown), std::string::npos) << answer.out;
  }
}

}  // namespace
}  // namespace nolt::desktop_tests
