// The real nolt-widget on a private X display under openbox, inspected from outside as a
// person's desktop sees it: with xprop, wmctrl and xdotool, photographed with xwd. Skipped when
// those tools are not installed.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/desktop/desktop_test.h"
#include "tests/support/deadline.h"

namespace nolt::widget {
namespace {

namespace fs = std::filesystem;
using desktop_tests::DesktopSession;
using desktop_tests::Program;

std::string itemID(int n) { return "9E3779B9-1234-4321-8765-00000000000" + std::to_string(n); }

const char kCollection[] = "C0113C70-0000-4000-8000-000000000003";

// Four items, each with a thumbnail of its own colour; the third alone is in kCollection.
std::string snapshotText() {
  std::string items;
  for (int n = 1; n <= 4; ++n)
    items += std::string(n > 1 ? "," : "") + R"({"id":")" + itemID(n) + R"(","title":"Chair )" +
             std::to_string(n) + R"(","weight":1,"collectionIDs":[)" +
             (n == 3 ? std::string("\"") + kCollection + "\"" : std::string()) + "]}";
  return R"({"items":[)" + items + R"(],"spaces":[],"collections":[{"id":")" + kCollection +
         R"(","name":"Yellow"}]})";
}

// "WIDTH=170\nHEIGHT=170\n…" from xdotool getwindowgeometry --shell, as "170x170".
std::string sizeOf(const std::string& shell) {
  std::istringstream lines(shell);
  std::string line, width, height;
  while (std::getline(lines, line)) {
    if (line.rfind("WIDTH=", 0) == 0) width = line.substr(6);
    if (line.rfind("HEIGHT=", 0) == 0) height = line.substr(7);
  }
  return width + "x" + height;
}

// The window ids of _NET_CLIENT_LIST_STACKING, bottom first, as decimal text like xdotool's.
std::vector<std::string> stacking(const DesktopSession& session) {
  std::string text = session.tool({"xprop", "-root", "_NET_CLIENT_LIST_STACKING"}).out;
  std::vector<std::string> ids;
  for (std::size_t at = text.find("0x"); at != std::string::npos; at = text.find("0x", at + 2))
    ids.push_back(std::to_string(std::stoul(text.substr(at), nullptr, 16)));
  return ids;
}

std::size_t positionOf(const std::vector<std::string>& list, const std::string& id) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i] == id) return i;
  return list.size();
}

class WidgetDesktopTest : public desktop_tests::DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (!setUpDone()) return;
    environment_["XDG_DATA_HOME"] = home_.path() + "/data";
    environment_["XDG_STATE_HOME"] = home_.path() + "/state";
    // What the desktop would open is written down instead.
    environment_["PATH"] = home_.path() + "/bin:/usr/bin:/bin";
    ASSERT_TRUE(home_.write("bin/xdg-open", "#!/bin/sh\necho \"$1\" >> \"$HOME/opened.txt\"\n"));
    fs::permissions(home_.file("bin/xdg-open"), fs::perms::owner_all);
    ASSERT_TRUE(home_.write("data/group.app.nolt/Widget/widget.json", snapshotText()));
    const Qt::GlobalColor colours[] = {Qt::darkCyan, Qt::darkRed, Qt::darkYellow, Qt::darkBlue};
    for (int n = 1; n <= 4; ++n) {
      QImage thumbnail(400, 300, QImage::Format_RGB32);
      thumbnail.fill(colours[n - 1]);
      ASSERT_TRUE(thumbnail.save(
          QString::fromStdString(home_.file("data/group.app.nolt/Widget/" + itemID(n) + ".jpg")),
          "JPEG"));
    }
  }

  std::vector<std::string> widget(const std::string& family) const {
    return {std::string(NOLT_BIN_DIR) + "/nolt-widget", "--family", family, "--name", family};
  }
};

TEST_F(WidgetDesktopTest, IsAnUndecoratedWindowOfTheFamilysSizeOnEveryWorkspace) {
  struct Case {
    const char* family;
    const char* size;
  };
  for (const Case& c :
       {Case{"small", "170x170"}, Case{"medium", "364x170"}, Case{"large", "364x382"}}) {
    SCOPED_TRACE(c.family);
    Program program(widget(c.family), environment_);
    auto window = session_->waitForWindow(program.pid());
    ASSERT_TRUE(window);
    photograph(std::string("desktop-") + c.family);
    EXPECT_EQ(sizeOf(session_->tool({"xdotool", "getwindowgeometry", "--shell", *window}).out),
              c.size);
    std::string state = session_->property(*window, "_NET_WM_STATE");
    for (const char* wanted :
         {"_NET_WM_STATE_BELOW", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"})
      EXPECT_NE(state.find(wanted), std::string::npos) << wanted << " missing from " << state;
    // Every workspace: the window manager's own record, and wmctrl's desktop column (-1).
    EXPECT_NE(session_->property(*window, "_NET_WM_DESKTOP").find("4294967295"), std::string::npos);
    std::string listed = session_->tool({"wmctrl", "-l", "-p"}).out;
    std::ostringstream row;
    row << "0x" << std::hex << std::stoul(*window);
    auto at = listed.find(row.str().substr(2));
    ASSERT_NE(at, std::string::npos) << listed;
    EXPECT_NE(listed.substr(at, listed.find('\n', at) - at).find(" -1 "), std::string::npos)
        << listed;
    // No frame: the window manager adds nothing around it.
    EXPECT_NE(session_->property(*window, "_NET_FRAME_EXTENTS").find("= 0, 0, 0, 0"),
              std::string::npos)
        << session_->property(*window, "_NET_FRAME_EXTENTS");
    // Still shown on another workspace.
    ASSERT_EQ(session_->tool({"wmctrl", "-s", "1"}).status, 0);
    EXPECT_EQ(session_->waitForWindow(program.pid(), 5), window);
    ASSERT_EQ(session_->tool({"wmctrl", "-s", "0"}).status, 0);
  }
}

// Qt's X11 platform would take --name as its own; the widget's name must reach the widget, in
// its title and in the settings it reads, whatever the platform.
TEST_F(WidgetDesktopTest, TakesItsNameUnderEveryPlatformOption) {
  ASSERT_TRUE(home_.write("state/nolt-widget/second", std::string(kCollection) + "\n"));
  for (const std::vector<std::string>& platform :
       {std::vector<std::string>{}, {"-platform", "xcb"}, {"-name", "resource"}}) {
    SCOPED_TRACE(platform.empty() ? "no option" : platform.back());
    std::vector<std::string> argv = {std::string(NOLT_BIN_DIR) + "/nolt-widget", "--name",
                                     "second"};
    argv.insert(argv.end(), platform.begin(), platform.end());
    Program program(argv, environment_);
    auto window = session_->waitForWindow(program.pid());
    ASSERT_TRUE(window);
    EXPECT_EQ(session_->tool({"xdotool", "getwindowname", *window}).out, "Nolt — second\n");
    // Shells find nolt-widget.desktop through the class.
    EXPECT_NE(session_->property(*window, "WM_CLASS").find("\"nolt-widget\""), std::string::npos);
    // The scope stored for "second" is the collection holding the yellow item alone.
    ASSERT_EQ(session_->tool({"xdotool", "windowmove", "--sync", *window, "0", "0"}).status, 0);
    QRgb middle = 0;
    test_support::waitUntil(
        10,
        [&] {
          middle = session_->screenshot().pixel(85, 85);
          return qRed(middle) > 100 && qGreen(middle) > 100 && qBlue(middle) < 60;
        },
        0.1);
    photograph("desktop-named-second");
    EXPECT_TRUE(qRed(middle) > 100 && qGreen(middle) > 100 && qBlue(middle) < 60)
        << std::hex << middle << " is not the yellow item's thumbnail";
  }
}

TEST_F(WidgetDesktopTest, StaysBelowNormalWindowsWhenClickedAndRightClickOffersTheChoice) {
  Program program(widget("small"), environment_);
  auto window = session_->waitForWindow(program.pid());
  ASSERT_TRUE(window);
  ASSERT_EQ(session_->tool({"xdotool", "windowmove", "--sync", *window, "100", "100"}).status, 0);
  // A normal window over part of it.
  Program other({"xlogo", "-geometry", "200x200+200+150"}, session_->environment(), true);
  auto normal = session_->waitForWindow({"--class", "xlogo"});
  ASSERT_TRUE(normal);

  // A click on the part left uncovered opens what is there, but never raises it over the other.
  ASSERT_EQ(session_->tool({"xdotool", "mousemove", "--sync", "130", "130", "click", "1"}).status,
            0);
  // The window manager raises on the press; the widget opens the item on the release, so once
  // the item is open the stacking order is the one the click left.
  std::string opened;
  EXPECT_TRUE(test_support::waitUntil(
      10,
      [&] {
        opened = test_support::readFile(home_.file("opened.txt")).value_or("");
        return opened.find('\n') != std::string::npos;
      },
      0.05))
      << "the click opened nothing";
  EXPECT_EQ(opened.rfind("nolt://item/", 0), 0u) << opened;
  auto order = stacking(*session_);
  EXPECT_LT(positionOf(order, *window), positionOf(order, *normal));
  EXPECT_LT(positionOf(order, *normal), order.size());
  photograph("desktop-below-a-window");

  // Right-click opens the menu over the widget, its first entry where the next click goes; the
  // dialog that entry opens is a window of its own.
  const QImage closed = session_->screenshot();
  ASSERT_EQ(session_->tool({"xdotool", "mousemove", "--sync", "110", "110", "click", "3"}).status,
            0);
  EXPECT_TRUE(test_support::waitUntil(
      10, [&] { return session_->screenshot().pixel(140, 128) != closed.pixel(140, 128); }, 0.05))
      << "no menu under the pointer";
  photograph("desktop-menu");
  ASSERT_EQ(session_->tool({"xdotool", "mousemove", "--sync", "140", "128", "click", "1"}).status,
            0);
  auto dialog = session_->waitForWindow({"--name", "Choose What to Show"}, 10);
  ASSERT_TRUE(dialog) << "no dialog";
  EXPECT_TRUE(session_->waitForFocus(*dialog));
  photograph("desktop-choose-what-to-show");
}

}  // namespace
}  // namespace nolt::widget
