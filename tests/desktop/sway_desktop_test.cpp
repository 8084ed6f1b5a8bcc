// The real nolt-widget and nolt-share on a headless sway, a tiling Wayland compositor that
// keeps none of the X11 desktop hints: checked with swaymsg's layout tree, photographed with
// grim, clicked through sway's seat commands and typed into with wtype. Skipped when those
// tools are not installed.
#include <gtest/gtest.h>

#include <QImage>
#include <boost/json.hpp>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/desktop/sway_session.h"
#include "tests/support/deadline.h"
#include "tests/support/temp_dir.h"

namespace nolt::desktop_tests {
namespace {

namespace fs = std::filesystem;
namespace json = boost::json;
using test_support::TempDir;
using test_support::waitUntil;

// The widget sits 24 pixels from the bottom-right corner; a medium one is 364×170.
const QRect kWidget(1024 - 24 - 364, 768 - 24 - 170, 364, 170);
// plain_window floats at 500,450 and is 300×200 (the session's config): over part of it.
const QPoint kOverlap(700, 610);
const QPoint kUncovered(900, 700);
const QColor kThumbnail(0, 128, 128);
const QColor kPlain(0xE0, 0x40, 0xC0);

bool near(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
             std::abs(a.blue() - b.blue()) <
         40;
}

// How much of `area` has the thumbnails' colour, from 0 to 1.
double thumbnailShare(const QImage& screen, QRect area) {
  int hits = 0, all = 0;
  for (int y = area.top(); y <= area.bottom(); y += 4)
    for (int x = area.left(); x <= area.right(); x += 4, ++all)
      hits += near(screen.pixelColor(x, y), kThumbnail);
  return all ? static_cast<double>(hits) / all : 0;
}

// Every window of the layout tree, tiled or floating, with its app id.
void collectWindows(const json::value& node, std::vector<const json::object*>& out) {
  const json::object* object = node.if_object();
  if (!object) return;
  if (const json::value* app = object->if_contains("app_id"); app && app->is_string())
    out.push_back(object);
  for (const char* children : {"nodes", "floating_nodes"})
    if (const json::value* list = object->if_contains(children); list && list->is_array())
      for (const json::value& child : list->as_array()) collectWindows(child, out);
}

// The window of `appID` in `tree`, as "type focused": "floating_con true"; empty when absent.
std::string windowState(const std::string& tree, const std::string& appID) {
  std::vector<const json::object*> windows;
  boost::system::error_code error;
  json::value root = json::parse(tree, error);
  if (error) return {};
  collectWindows(root, windows);
  for (const json::object* window : windows)
    if (window->at("app_id").as_string() == appID)
      return std::string(window->at("type").as_string()) + " " +
             (window->at("focused").as_bool() ? "true" : "false");
  return {};
}

class SwayDesktopTest : public ::testing::Test {
 protected:
  // A tool of the session, or the test's mouse (built only with Wayland's development files).
  static std::optional<std::string> missing() {
    // The same programs run here in the Release build; the leak checker has no list yet of
    // what Qt's Wayland platform keeps until exit.
    if (NOLT_SANITIZED) return std::string("an unsanitized build (this one has the sanitizers)");
    if (auto tool = SwaySession::missingTool()) return tool;
    if (!fs::exists(VIRTUAL_POINTER)) return std::string("virtual_pointer (libwayland-dev)");
    return std::nullopt;
  }

  static void SetUpTestSuite() {
    if (!missing()) session_ = new SwaySession(VIRTUAL_POINTER);
  }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
  }

  void SetUp() override {
    if (auto tool = missing()) GTEST_SKIP() << "needs " << *tool;
    ASSERT_TRUE(session_->ready()) << session_->problem();
    environment_ = session_->programEnvironment(home_.path());
    // As a Wayland session starts programs: Qt picks its platform itself.
    environment_.erase("QT_QPA_PLATFORM");
    environment_["XDG_SESSION_TYPE"] = "wayland";
    environment_["XDG_DATA_HOME"] = home_.path() + "/data";
    environment_["XDG_STATE_HOME"] = home_.path() + "/state";
    environment_["TMPDIR"] = home_.path();  // what a killed program leaves stays in the test's
    environment_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + home_.path() + "/no-bus";
    // What the desktop would open is written down instead.
    environment_["PATH"] = home_.path() + "/bin:/usr/bin:/bin";
    ASSERT_TRUE(home_.write("bin/xdg-open", "#!/bin/sh\necho \"$1\" >> \"$HOME/opened.txt\"\n"));
    fs::permissions(home_.file("bin/xdg-open"), fs::perms::owner_all);
    ASSERT_EQ(session_->message({"workspace", "1"}).status, 0);
  }

  void photograph(const std::string& name) const {
    session_->screenshot(std::string(NOLT_ARTEFACTS_DIR) + "/" + name + ".png");
  }

  static inline SwaySession* session_ = nullptr;
  TempDir home_;
  Environment environment_;
};

TEST_F(SwayDesktopTest, WidgetIsABottomLayerSurfaceOnEveryWorkspaceWithoutFocus) {
  std::string items;
  fs::create_directories(home_.file("data/group.app.nolt/Widget"));
  for (int n = 1; n <= 4; ++n) {
    std::string id = "9E3779B9-1234-4321-8765-00000000000" + std::to_string(n);
    items += std::string(n > 1 ? "," : "") + R"({"id":")" + id +
             R"(","title":"Chair","weight":1,"collectionIDs":[]})";
    QImage thumbnail(400, 300, QImage::Format_RGB32);
    thumbnail.fill(kThumbnail);
    ASSERT_TRUE(thumbnail.save(
        QString::fromStdString(home_.file("data/group.app.nolt/Widget/" + id + ".jpg")), "JPEG"));
  }
  ASSERT_TRUE(home_.write("data/group.app.nolt/Widget/widget.json",
                          R"({"items":[)" + items + R"(],"spaces":[],"collections":[]})"));
  Environment environment = environment_;
  environment["WAYLAND_DEBUG"] = "client";  // the requests it makes, on standard error
  test_support::Subprocess::Options options;
  options.argv = {std::string(NOLT_BIN_DIR) + "/nolt-widget", "--family", "medium"};
  options.environment = environment;
  options.error = test_support::Stream::file(home_.file("wayland.log"));
  options.ownProcessGroup = true;
  test_support::Subprocess widget(std::move(options));

  QImage screen;
  EXPECT_TRUE(waitUntil(
      20, [&] { return thumbnailShare(screen = session_->screenshot(), kWidget) > 0.5; }, 0.1))
      << "the widget is not in the bottom-right corner";
  photograph("sway-widget");
  std::string log = test_support::readFile(home_.file("wayland.log")).value_or("");
  EXPECT_NE(log.find("zwlr_layer_shell_v1@"), std::string::npos);
  EXPECT_NE(log.find(".get_layer_surface("), std::string::npos);
  EXPECT_NE(log.find(", 1, \"nolt-widget\")"), std::string::npos) << "not on the bottom layer";
  EXPECT_NE(log.find(".set_keyboard_interactivity(0)"), std::string::npos);
  // A layer surface is no window of the layout: no tile, no task-list entry, no focus.
  EXPECT_EQ(windowState(session_->tree(), "nolt-widget"), "");

  test_support::Subprocess::Options plain;
  plain.argv = {PLAIN_WINDOW};
  plain.environment = environment_;
  plain.error = test_support::Stream::null();
  plain.ownProcessGroup = true;
  test_support::Subprocess other(std::move(plain));
  ASSERT_TRUE(waitUntil(
      20, [&] { return windowState(session_->tree(), "plain_window") == "floating_con true"; },
      0.05))
      << session_->tree();

  // A click on the widget's uncovered part opens its item, and neither raises it over the
  // window nor takes the focus from it.
  ASSERT_TRUE(session_->click(kUncovered.x(), kUncovered.y()));
  EXPECT_TRUE(waitUntil(
      10, [&] { return fs::exists(home_.file("opened.txt")); }, 0.05))
      << "the click did not reach the widget";
  EXPECT_TRUE(waitUntil(
      5, [&] { return near((screen = session_->screenshot()).pixelColor(kOverlap), kPlain); }, 0.1))
      << "the widget is over the window";
  photograph("sway-widget-below-a-window");
  EXPECT_EQ(windowState(session_->tree(), "plain_window"), "floating_con true");
  EXPECT_EQ(windowState(session_->tree(), "nolt-widget"), "");

  // On another workspace it is there, and alone.
  ASSERT_EQ(session_->message({"workspace", "2"}).status, 0);
  EXPECT_TRUE(waitUntil(
      10, [&] { return thumbnailShare(screen = session_->screenshot(), kWidget) > 0.9; }, 0.1))
      << "the widget is not on workspace 2";
  photograph("sway-widget-workspace-2");
  ASSERT_EQ(session_->message({"workspace", "1"}).status, 0);
}

TEST_F(SwayDesktopTest, ShareDialogFloatsTakesTheFocusAndEscapeCancels) {
  ASSERT_TRUE(home_.write("note.txt", "a note\n"));
  Program share({std::string(NOLT_BIN_DIR) + "/nolt-share", home_.file("note.txt")}, environment_);
  ASSERT_TRUE(waitUntil(
      20, [&] { return windowState(session_->tree(), "nolt-share") == "floating_con true"; }, 0.05))
      << "not a focused floating window: " << windowState(session_->tree(), "nolt-share");
  photograph("sway-share");
  // Qt draws a little after the window is mapped; keys before that still reach it.
  ASSERT_TRUE(session_->type({"-k", "Escape"}));
  EXPECT_EQ(share.wait(20), 1);
}

}  // namespace
}  // namespace nolt::desktop_tests
