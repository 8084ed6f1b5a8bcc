#include "widget/command_line.h"

#include <gtest/gtest.h>

namespace nolt::widget {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLineTest, TakesTheWidgetsOptionsOutOfQtsLine) {
  struct Case {
    const char* what;
    Words args, own, forQt;
  };
  const Case cases[] = {
      {"nothing", {}, {}, {}},
      {"name and family", {"--family", "medium", "--name", "second"},
       {"--family", "medium", "--name", "second"}, {}},
      {"joined values", {"--name=second", "--family=large"}, {"--name=second", "--family=large"}, {}},
      {"Qt's options stay in their order",
       {"-platform", "xcb", "--name", "second", "-display", ":3"},
       {"--name", "second"},
       {"-platform", "xcb", "-display", ":3"}},
      {"a value that looks like an option", {"--name", "-platform"}, {"--name", "-platform"}, {}},
      {"the value of an option at the end is missing", {"-platform", "xcb", "--name"}, {"--name"},
       {"-platform", "xcb"}},
      {"help and version", {"-h", "--version", "-v", "--help"}, {"-h", "--version", "-v", "--help"},
       {}},
      {"after -- every word is the widget's", {"--bogus", "--", "-platform", "x"},
       {"--", "-platform", "x"}, {"--bogus"}},
      {"a longer option is not the widget's", {"--names", "x", "--name-x"}, {},
       {"--names", "x", "--name-x"}},
      {"a single dash is not the widget's", {"-name", "x"}, {}, {"-name", "x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SplitCommandLine split = splitCommandLine(c.args, {"family", "name"});
    EXPECT_EQ(split.own, c.own);
    EXPECT_EQ(split.forQt, c.forQt);
  }
}

}  // namespace
}  // namespace nolt::widget
