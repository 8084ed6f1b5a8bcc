// Every program answers --version with its name and the project's version, and exits 0,
// without a display, a host or a session bus.
#include <gtest/gtest.h>

#include <string>

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
      Output answer = runTool({std::string(NOLT_BIN_DIR) + "/" + program, word}, environment);
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
    Output answer = runTool({std::string(NOLT_BIN_DIR) + "/" + c.program, c.word}, environment);
    EXPECT_EQ(answer.status, 0);
    EXPECT_NE(answer.out.find(c.shown), std::string::npos) << answer.out;
  }
}

}  // namespace
}  // namespace nolt::desktop_tests
