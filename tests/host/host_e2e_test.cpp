// The programs against the real nolt-host, end to end: a temporary HOME, a private session
// bus, the host started by nolt through its desktop entry or by the test.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "capture/inbox.h"
#include "platform/notify.h"
#include "platform/testing/test_environment.h"
#include "platform/uuid.h"
#include "tests/desktop/desktop_session.h"
#include "tests/host/host_process.h"
#include "tests/support/deadline.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/test_host_process.h"
#include "widget/widget_snapshot.h"
#include "wire/json_value.h"

namespace nolt::host_tests {
namespace {

namespace fs = std::filesystem;
using wire::JSONValue;
using Clock = std::chrono::steady_clock;

std::string bin(std::string_view name) {
  return std::string(NOLT_BIN_DIR) + "/" + std::string(name);
}

// A 1×1 PNG.
constexpr unsigned char kPNGBytes[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00,
    0x00, 0x90, 0x77, 0x53, 0xde, 0x00, 0x00, 0x00, 0x0c, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0x00, 0x00, 0x03, 0x01, 0x01, 0x00, 0xc9, 0xfe, 0x92,
    0xef, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};
const std::string kPNG(reinterpret_cast<const char*>(kPNGBytes), sizeof kPNGBytes);

class HostEndToEndTest : public ::testing::Test {
 protected:
  HostEndToEndTest() {
    fs::create_directories(home_);
    fs::create_directories(runtime_);
    chmod(runtime_.c_str(), 0700);
    // The desktop's opener, replaced by one that writes down what it was asked to open.
    fs::create_directories(dir_.path() + "/bin");
    std::ofstream(dir_.path() + "/bin/xdg-open")
        << "#!/bin/sh\necho \"$1\" >> \"$HOME/opened.txt\"\n";
    chmod((dir_.path() + "/bin/xdg-open").c_str(), 0755);
    env_ = test_support::sessionEnvironment(home_, runtime_);
    env_["XDG_DATA_DIRS"] = std::string(NOLT_BIN_DIR) + "/../share";
    env_["PATH"] = dir_.path() + "/bin:" + env_["PATH"];
    env_["DBUS_SESSION_BUS_ADDRESS"] = bus_.address();
    env_["QT_QPA_PLATFORM"] = "offscreen";
  }
  ~HostEndToEndTest() override {
    host_.reset();
    stopHostsOf(home_);
  }

  void startHost() {
    host_ =
        std::make_unique<HostProcess>(bin("nolt-host"), std::vector<std::string>{"--demo"}, env_);
    ASSERT_TRUE(host_->waitUntilRunning(runtime_));
  }
  Result nolt(std::vector<std::string> args) {
    args.insert(args.begin(), bin("nolt"));
    return runProgram(args, env_);
  }
  JSONValue noltJSON(std::vector<std::string> args) {
    args.push_back("--json");
    Result result = nolt(args);
    EXPECT_EQ(result.status, 0) << result.err;
    return JSONValue::decode(result.out);
  }
  // Searches until `expected` items match `query`, for at most `seconds`; the last total.
  JSONValue totalFound(const std::string& query, int expected, int seconds = 10) {
    JSONValue total;
    test_support::waitUntil(
        seconds,
        [&] {
          total = *noltJSON({"search", query}).subscript("total");
          return total == JSONValue(expected);
        },
        0.1);
    return total;
  }
  std::string container() const { return home_ + "/.local/share/group.app.nolt"; }
  fs::path inbox() const { return fs::path(container()) / "Incoming"; }
  // Writes `count` captures into the inbox as the capture programs lay them out, without their
  // fsyncs: thousands of those would take longer than the test. A file capture gets `payload`
  // under its file name.
  void writeCaptures(int count, const std::function<capture::IncomingRequest(int)>& requestFor,
                     const std::string& payload = {}) const {
    auto uuids = platform::makeRandomUUIDSource();
    for (int i = 0; i < count; ++i) {
      capture::IncomingRequest request = requestFor(i);
      fs::path folder = inbox() / uuids->next().uuidString();
      fs::create_directories(folder);
      if (request.fileName) std::ofstream(folder / *request.fileName, std::ios::binary) << payload;
      std::ofstream(folder / "request.json", std::ios::binary) << request.encoded();
    }
  }
  // The capture folders still in the inbox.
  std::ptrdiff_t capturesLeft() const {
    std::error_code ec;
    return std::distance(fs::directory_iterator(inbox(), ec), fs::directory_iterator());
  }
  // Starts the host on its library as it stands, without waiting for it to serve, and returns
  // once at most `left` captures are still in the inbox (or after 30 s).
  void startImportUntil(std::ptrdiff_t left) {
    host_ = std::make_unique<HostProcess>(bin("nolt-host"), std::vector<std::string>{}, env_);
    test_support::waitUntil(
        30, [&] { return capturesLeft() <= left; }, 0.001);
  }
  platform::testing::TestEnvironment platformEnvironment() const {
    platform::testing::TestEnvironment env;
    for (const auto& [name, value] : env_) env.variables[name] = value;
    return env;
  }

  test_support::TempDir dir_;
  std::string home_ = dir_.path() + "/home";
  std::string runtime_ = dir_.path() + "/run";
  test_support::PrivateSessionBus bus_;
  Environment env_;
  std::unique_ptr<HostProcess> host_;
};

TEST_F(HostEndToEndTest, NoltStartsTheHostThroughItsDesktopEntry) {
  Result spaces = nolt({"spaces"});
  EXPECT_EQ(spaces.status, 0) << spaces.err;
  EXPECT_NE(spaces.out.find("🏠 Personal"), std::string::npos) << spaces.out;
  // A second start finds the host running and leaves it alone.
  Result again = runProgram({bin("nolt-host")}, env_);
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(nolt({"spaces"}).status, 0);
}

TEST_F(HostEndToEndTest, EveryNoltCommandOnTheDemoLibrary) {
  startHost();
  JSONValue sunset = noltJSON({"search", "sunset", "hills"});
  ASSERT_EQ(*sunset.subscript("total"), JSONValue(1));
  std::string id = *(*sunset.subscript("items")->array())[0].subscript("id")->string();
  std::ofstream(dir_.path() + "/dot.png", std::ios::binary) << kPNG;

  struct Case {
    std::vector<std::string> args;
    std::string expected;  // in standard output
  } cases[] = {
      {{"search", "#warm", "--limit", "2"}, "  #warm"},
      {{"search", "--space", "Work"}, "Pricing page with three plans"},
      {{"show", id}, "\"title\" : \"Sunset over the hills\""},
      {{"taste"}, "\"palette\""},
      {{"taste", "--collection", "Living room"}, "\"collection\" : \"Living room\""},
      {{"brief", "Checkout", "redesign"}, "Buttons say what they do"},
      {{"notes", "--rules"}, "Use spacing in steps of 8 px"},
      {{"note", "Keep", "corners", "at", "12", "px", "--rule", "--tag", "layout"}, "Saved note "},
      {{"notes", "corners"}, "Keep corners at 12 px"},
      {{"spaces"}, "💼 Work"},
      {{"collections", "--space", "Work"}, "Checkout redesign"},
      {{"add", "https://example.org/new-landing", "--tag", "landing"},
       "https://example.org/new-landing"},
      {{"search", "#landing"}, "example.org/new-landing"},
      {{"add", dir_.path() + "/dot.png", "--collection", "Typography"}, "dot.png"},
      {{"search", "dot", "--collection", "Typography"}, "dot"},
      {{"open", id}, ""},
  };
  for (const Case& c : cases) {
    Result result = nolt(c.args);
    EXPECT_EQ(result.status, 0) << c.args[0] << ": " << result.err;
    EXPECT_NE(result.out.find(c.expected), std::string::npos) << c.args[0] << ": " << result.out;
  }
  // The opener runs detached: its line comes when it comes.
  std::string opened;
  auto openedLines = [&](long lines) {
    return test_support::waitUntil(5, [&] {
      opened = test_support::readFile(home_ + "/opened.txt").value_or("");
      return std::count(opened.begin(), opened.end(), '\n') >= lines;
    });
  };
  openedLines(1);
  EXPECT_NE(opened.find("/Library/Files/" + id + "/Sunset over the hills.png"), std::string::npos)
      << opened;

  // A nolt:// link, as the desktop hands it to the host's desktop entry, goes to the running host.
  Result link = runProgram({bin("nolt-host"), "nolt://item/" + id}, env_);
  EXPECT_EQ(link.status, 0) << link.err;
  openedLines(2);
  EXPECT_EQ(std::count(opened.begin(), opened.end(), '\n'), 2) << opened;

  Result missing = nolt({"show", "00000000-0000-0000-0000-000000000000"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "nolt: No item has the ID 00000000-0000-0000-0000-000000000000.\n");
}

TEST_F(HostEndToEndTest, CapturesArriveInSearchOnTheSignal) {
  ASSERT_FALSE(bus_.address().empty());
  startHost();
  auto uuids = platform::makeRandomUUIDSource();
  capture::IncomingRequest text;
  text.kind = capture::IncomingRequest::Kind::text;
  text.text = "Marigold and teal for the spring campaign";
  text.tags = {"campaign"};
  capture::writeCapture(fs::path(container()) / "Incoming", *uuids, text);
  platform::testing::TestEnvironment env = platformEnvironment();
  platform::makeSessionBusNotificationCenter(env)->post("app.nolt.Nolt.incoming");
  EXPECT_EQ(totalFound("marigold", 1), JSONValue(1));

  // The browser extension's native host saves through the same inbox.
  if (!fs::exists(bin("nolt-safari"))) GTEST_SKIP() << "nolt-safari is not built";
  auto frame = [](std::string_view body) {
    auto length = static_cast<std::uint32_t>(body.size());
    std::string out(4, '\0');
    std::memcpy(out.data(), &length, 4);
    return out + std::string(body);
  };
  Result safari = runProgram(
      {bin("nolt-safari")}, env_,
      frame(R"({"action":"savePage","url":"https://a.example/teal-lamp","tags":["lamp"]})") +
          frame(std::string(
                    R"({"action":"saveImage","mime":"image/png","title":"Red dot","data":")") +
                "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/"
                "pLvAAAAAElFTkSuQmCC" +
                "\"}"));
  EXPECT_EQ(safari.status, 0) << safari.err;
  EXPECT_EQ(totalFound("#lamp", 1), JSONValue(1));
  EXPECT_EQ(totalFound("red dot", 1), JSONValue(1));
}

TEST_F(HostEndToEndTest, SharedThingsArriveInSearch) {
  if (!fs::exists(bin("nolt-share"))) GTEST_SKIP() << "nolt-share is not built";
  if (auto tool = desktop_tests::DesktopSession::missingTool())
    GTEST_SKIP() << tool->c_str() << " is not installed";
  desktop_tests::DesktopSession desktop;
  ASSERT_TRUE(desktop.ready()) << "Xvfb and openbox did not start";
  startHost();
  std::string picture = dir_.path() + "/Shared chair.png";
  std::ofstream(picture, std::ios::binary) << kPNG;
  // As the file manager starts it, with Save pressed at once: to the space open in the host.
  Environment env = desktop.programEnvironment(home_);
  env["XDG_RUNTIME_DIR"] = runtime_;
  env["DBUS_SESSION_BUS_ADDRESS"] = bus_.address();
  desktop_tests::Program share({bin("nolt-share"), "https://example.com/shared-page", "--text",
                                "A quote worth keeping", picture},
                               env);
  auto window = desktop.waitForWindow(share.pid());
  ASSERT_TRUE(window && desktop.waitForFocus(*window));
  ASSERT_EQ(desktop.tool({"xdotool", "key", "Return"}).status, 0);
  ASSERT_EQ(share.wait(30), 0);
  for (std::string query : {"shared-page", "quote worth", "shared chair"})
    EXPECT_EQ(totalFound(query, 1), JSONValue(1)) << query;
}

TEST_F(HostEndToEndTest, TheWidgetShowsTheHostsThumbnails) {
  startHost();
  auto snapshot = widget::loadSnapshot(container());
  EXPECT_EQ(snapshot.items.size(), 12u);
  EXPECT_EQ(snapshot.spaces.size(), 2u);
  for (const auto& item : snapshot.items) {
    QImage thumbnail(QString::fromStdString(widget::thumbnailPath(container(), item.id)), "JPEG");
    EXPECT_EQ(std::max(thumbnail.width(), thumbnail.height()), 400) << item.title;
  }
  if (!fs::exists(bin("nolt-widget"))) GTEST_SKIP() << "nolt-widget is not built";
  std::string png = dir_.path() + "/widget.png";
  Result render = runProgram({bin("nolt-widget"), "render", "--family", "large", png}, env_);
  ASSERT_EQ(render.status, 0) << render.err;
  QImage image(QString::fromStdString(png));
  ASSERT_EQ(image.size(), QSize(364, 382));
  EXPECT_NE(image.pixelColor(364 / 4, 382 / 4), QColor(Qt::black));  // a thumbnail, not empty
}

TEST_F(HostEndToEndTest, FiftyNoltProcessesAtOnceWhileBadClientsHangOn) {
  startHost();
  auto connectRaw = [&](std::string_view bytes) {
    int fd = connectToPort(runtime_);
    EXPECT_GE(fd, 0);
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return fd;
  };
  int silent = connectRaw("");
  int oversized = connectRaw(std::string("\0\0\0\0\x11\x80\0\x01", 8));  // 280 MiB + 1
  std::vector<Result> results(50);
  std::vector<std::thread> clients;
  for (int i = 0; i < 50; ++i)
    clients.emplace_back([&, i] { results[i] = nolt({"search", "warm"}); });
  for (std::thread& client : clients) client.join();
  for (const Result& result : results) {
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Sunset over the hills"), std::string::npos);
  }
  char byte;
  EXPECT_EQ(recv(oversized, &byte, 1, 0), 0);  // dropped without a reply
  close(oversized);
  close(silent);
  EXPECT_EQ(nolt({"spaces"}).status, 0);
}

TEST_F(HostEndToEndTest, AFileOfExactlyTheLimitIsTakenWhole) {
  startHost();
  // 209,715,200 bytes: what nolt add lets through is what the host keeps.
  std::string path = dir_.path() + "/limit.mp4";
  std::ofstream(path).close();
  ASSERT_EQ(truncate(path.c_str(), 200 * 1024 * 1024), 0);
  Result add = nolt({"add", path});
  ASSERT_EQ(add.status, 0) << add.err;
  JSONValue found = noltJSON({"search", "limit"});
  ASSERT_EQ(*found.subscript("total"), JSONValue(1)) << found.prettyText();
  std::string id = *(*found.subscript("items")->array())[0].subscript("id")->string();
  fs::path stored = fs::path(container()) / "Library" / "Files" / id / "limit.mp4";
  EXPECT_EQ(fs::file_size(stored), 200u * 1024 * 1024);
}

TEST_F(HostEndToEndTest, IdleClientsPastTheConnectionLimitDoNotHoldUpASearch) {
  startHost();
  // The host serves 256 connections at once; these say nothing and never will.
  std::vector<int> idle;
  for (int i = 0; i < 256 + 100; ++i) {
    int fd = connectToPort(runtime_);
    ASSERT_GE(fd, 0);
    idle.push_back(fd);
  }
  auto start = Clock::now();
  Result search = nolt({"search", "warm"});
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(search.status, 0) << search.err;
  EXPECT_NE(search.out.find("Sunset over the hills"), std::string::npos);
  // Idle clients are dropped after 5 s; an answer that waited for that is a fault.
  EXPECT_LT(seconds, 4.0);
  for (int fd : idle) close(fd);
}

TEST_F(HostEndToEndTest, AHostKilledInTheMiddleOfAnImportLosesNoCapture) {
  startHost();
  host_->stop();
  // Enough captures for several batches (a batch commits at 1,000 captures or a quarter of a
  // second), so the kill after the first lands while the host still has most of them to take.
  constexpr int kCaptures = 3000;
  writeCaptures(
      kCaptures,
      [](int i) {
        capture::IncomingRequest file;
        file.kind = capture::IncomingRequest::Kind::file;
        file.fileName = "scan.pdf";
        file.title = "Scan " + std::to_string(i);
        file.tags = {"scan"};
        return file;
      },
      std::string(8 * 1024, 'x'));
  // Kill the host once its first batch has left the inbox.
  startImportUntil(kCaptures * 9 / 10);
  host_->kill(SIGKILL);
  EXPECT_GT(capturesLeft(), 0) << "the import finished before the host could be killed";

  startHost();
  // The restarted host takes the rest of the inbox once it serves.
  EXPECT_EQ(totalFound("#scan", kCaptures, 60), JSONValue(kCaptures));
  // Each folder goes right after its batch commits.
  EXPECT_TRUE(test_support::waitUntil(10, [&] { return capturesLeft() == 0; })) << capturesLeft();
  // One stored file per file item (the demo's eight and the scans): none left over from the kill.
  fs::path files = fs::path(container()) / "Library" / "Files";
  EXPECT_EQ(std::distance(fs::directory_iterator(files), fs::directory_iterator()), kCaptures + 8);
}

// SIGTERM is not held back by a long inbox: the host stops between captures, with what it took
// committed, and the rest waits for the next start.
TEST_F(HostEndToEndTest, SIGTERMStopsAnImportAtOnceAndLosesNoCapture) {
  startHost();
  host_->stop();
  constexpr int kCaptures = 5000;
  writeCaptures(kCaptures, [](int i) {
    capture::IncomingRequest text;
    text.kind = capture::IncomingRequest::Kind::text;
    text.text = "Memo " + std::to_string(i);
    text.tags = {"memo"};
    return text;
  });
  startImportUntil(kCaptures - 1);
  auto asked = Clock::now();
  EXPECT_EQ(host_->stop(), 0);
  // Well under the minute the whole inbox takes; a second on a quiet machine.
  EXPECT_LT(Clock::now() - asked, std::chrono::seconds(5));
  EXPECT_GT(capturesLeft(), 0) << "the import finished before the host was asked to stop";

  startHost();
  EXPECT_EQ(totalFound("#memo", kCaptures, 120), JSONValue(kCaptures));
}

}  // namespace
}  // namespace nolt::host_tests
