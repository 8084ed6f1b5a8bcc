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
      {"name and family",
       {"--family", "medium", "--name", "second"},
       {"--family", "medium", "--name", "second"},
       {}},
      {"joined values",
       {"--name=second", "--family=large"},
       {"--name=second", "--family=large"},
       {}},
      {"Qt's options stay in their order",
       {"-platform", "xcb", "--name", "second", "-display", ":3"},
       {"--name", "second"},
       {"-platform", "xcb", "-display", ":3"}},
      {"a value that looks like an option", {"--name", "-platform"}, {"--name", "-platform"}, {}},
      {"the value of an option at the end is missing",
       {"-platform", "xcb", "--name"},
       {"--name"},
       {"-platform", "xcb"}},
      {"help and version",
       {"-h", "--version", "-v", "--help"},
       {"-h", "--version", "-v", "--help"},
       {}},
      {"after -- every word is the widget's",
       {"--bogus", "--", "-platform", "x"},
       {"--", "-platform", "x"},
       {"--bogus"}},
      {"a longer option is not the widget's",
       {"--names", "x", "--name-x"},
       {},
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

TEST(PrefersXWaylandTest, OnlyWhenNothingElseKeepsTheWidgetOnTheDesktop) {
  struct Case {
    const char* what;
    bool chosen, wayland, x11, layerShell, xwayland;
  };
  const Case cases[] = {
      {"GNOME: no layer shell", false, true, true, false, true},
      {"sway or KWin: a layer surface", false, true, true, true, false},
      {"the person chose a platform", true, true, true, false, false},
      {"no X server to go through", false, true, false, false, false},
      {"an X11 session", false, false, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int asked = 0;
    bool xwayland = prefersXWayland(c.chosen, c.wayland, c.x11, [&] {
      ++asked;
      return c.layerShell;
    });
    EXPECT_EQ(xwayland, c.xwayland);
    // The compositor is asked only on a Wayland session where the answer matters.
    EXPECT_EQ(asked, !c.chosen && c.wayland && c.x11 ? 1 : 0);
  }
  EXPECT_TRUE(holdsQtOptions({"stray", "-platform", "xcb"}));
  EXPECT_FALSE(holdsQtOptions({"stray", "--colour", "red", "-"}));
  EXPECT_TRUE(namesPlatform({"--name", "x", "-platform", "xcb"}));
  EXPECT_TRUE(namesPlatform({"--platform", "wayland"}));
  EXPECT_FALSE(namesPlatform({"-platformtheme", "gtk3"}));
}

}  // namespace
}  // namespace nolt::widget
