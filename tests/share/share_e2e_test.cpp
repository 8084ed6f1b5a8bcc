// The real nolt-share on a private X display under openbox, in a temporary HOME with a private
// session bus: started as the desktop starts it, typed into with xdotool, photographed with
// xwd. Skipped when those tools are not installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "capture/incoming_request.h"
#include "tests/desktop/desktop_test.h"
#include "tests/support/deadline.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/test_host_process.h"

namespace nolt {
namespace {

namespace fs = std::filesystem;
using capture::IncomingRequest;
using desktop_tests::DesktopTest;
using desktop_tests::Program;
using test_support::IncomingSignalCounter;
using test_support::PrivateSessionBus;
using test_support::readFile;
using test_support::TempDir;
using test_support::waitUntil;

const char kSpace[] = "5BACE000-0000-4000-8000-000000000001";

// One xdotool command: {"type", "Nice chair"}, {"key", "Return"}.
using Keys = std::vector<std::vector<std::string>>;

class ShareEndToEndTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (!setUpDone()) return;
    environment_["DBUS_SESSION_BUS_ADDRESS"] = bus_.address();
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    picture_ = home_.file("Pictures/red chair.png");
    fs::create_directories(fs::path(picture_).parent_path());
    image.save(QString::fromStdString(picture_), "PNG");
    home_.write(".local/share/group.app.nolt/destinations.json",
                std::string("{\"spaces\":[{\"id\":\"") + kSpace +
                    "\",\"name\":\"Design\",\"emoji\":\"\",\"symbol\":\"\",\"tintName\":\"\"}],"
                    "\"collections\":[]}");
  }

  // Waits for the window of `pid`, checks that it has the keyboard focus, photographs the
  // screen as `picture`, then presses `keys`. False when the window never came or got focus.
  bool typeInto(pid_t pid, const Keys& keys, const std::string& picture) {
    auto window = session_->waitForWindow(pid);
    EXPECT_TRUE(window) << "no window";
    if (!window) return false;
    bool focused = session_->waitForFocus(*window);
    EXPECT_TRUE(focused) << "the window does not have the keyboard focus";
    if (!focused) return false;
    photograph(picture);
    // As typed on the keyboard (XTEST), to whichever window has the focus.
    for (std::vector<std::string> step : keys) {
      step.insert(step.begin(), "xdotool");
      if (session_->tool(step).status != 0) return false;
    }
    return true;
  }

  // Runs nolt-share with `arguments`, presses `keys` into its window; its exit status or -1.
  int runShare(const std::vector<std::string>& arguments, const Keys& keys,
               const std::string& picture) {
    std::vector<std::string> argv = {std::string(NOLT_BIN_DIR) + "/nolt-share"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Program share(argv, environment_);
    if (!typeInto(share.pid(), keys, picture)) return -1;
    return share.wait();
  }

  // Opens `files` with the desktop entry, as a file manager does (gio launch), with the program
  // swapped for a wrapper that records nolt-share's process id and exit status; presses `keys`
  // into its window and gives the exit status, or -1.
  int launchShare(const std::vector<std::string>& files, const Keys& keys,
                  const std::string& picture) {
    TempDir launch;
    std::string wrapper = launch.file("nolt-share");
    std::ofstream(wrapper) << "#!/bin/sh\n\"" << NOLT_BIN_DIR << "/nolt-share\" \"$@\" &\n"
                           << "echo $! >\"" << launch.file("pid.new") << "\"\n"
                           << "mv \"" << launch.file("pid.new") << "\" \"" << launch.file("pid")
                           << "\"\nwait $!\necho $? >\"" << launch.file("status.new") << "\"\n"
                           << "mv \"" << launch.file("status.new") << "\" \""
                           << launch.file("status") << "\"\n";
    fs::permissions(wrapper, fs::perms::owner_all);
    std::string entry = readFile(NOLT_SHARE_DESKTOP_ENTRY).value_or("");
    std::string exec = "\nExec=nolt-share ";
    auto at = entry.find(exec);
    EXPECT_NE(at, std::string::npos) << "the desktop entry does not run nolt-share";
    if (at == std::string::npos) return -1;
    entry.replace(at, exec.size(), "\nExec=" + wrapper + " ");
    EXPECT_TRUE(launch.write("applications/nolt-share.desktop", entry));

    std::vector<std::string> argv = {"gio", "launch",
                                     launch.file("applications/nolt-share.desktop")};
    argv.insert(argv.end(), files.begin(), files.end());
    desktop_tests::Environment environment = environment_;
    environment["XDG_DATA_DIRS"] = launch.path();
    // Not read from: what gio starts keeps its standard output open.
    Program gio(argv, environment, true);
    // The wrapper writes each file under another name first, so one that is there is whole.
    std::optional<std::string> pid, status;
    auto written = [&](std::optional<std::string>& text, const char* name) {
      return [&text, &launch, name] { return (text = readFile(launch.file(name))).has_value(); };
    };
    if (!waitUntil(20, written(pid, "pid"), 0.02)) return -1;
    if (!typeInto(static_cast<pid_t>(std::stol(*pid)), keys, picture)) return -1;
    waitUntil(30, written(status, "status"), 0.02);
    EXPECT_EQ(gio.wait(10), 0) << "gio launch failed";
    return status ? std::stoi(*status) : -1;
  }

  fs::path inbox() const { return fs::path(home_.path()) / ".local/share/group.app.nolt/Incoming"; }

  std::vector<std::pair<fs::path, IncomingRequest>> captures() {
    std::vector<std::pair<fs::path, IncomingRequest>> out;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(inbox(), ignored)) {
      auto text = readFile((entry.path() / "request.json").string());
      auto request = text ? IncomingRequest::decode(*text) : std::nullopt;
      EXPECT_TRUE(request) << entry.path();
      if (request) out.emplace_back(entry.path(), *request);
    }
    return out;
  }

  PrivateSessionBus bus_;
  IncomingSignalCounter signals_{bus_.address()};
  std::string picture_;
};

TEST_F(ShareEndToEndTest, SavesAPictureWithNoteTagsAndSpace) {
  ASSERT_TRUE(signals_.listening());
  int status =
      runShare({picture_},
               {{"type", "Nice chair"}, {"key", "Tab"}, {"type", "Red,chairs "}, {"key", "Return"}},
               "picture");
  EXPECT_EQ(status, 0);
  auto written = captures();
  ASSERT_EQ(written.size(), 1u);
  const auto& [folder, request] = written.front();
  EXPECT_EQ(folder.filename().string().size(), 36u);
  EXPECT_EQ(request.kind, IncomingRequest::Kind::file);
  EXPECT_EQ(request.fileName, "red chair.png");
  EXPECT_EQ(readFile((folder / "red chair.png").string()), readFile(picture_));
  EXPECT_EQ(request.tags, (std::vector<std::string>{"red", "chairs"}));
  EXPECT_EQ(request.note, "Nice chair");
  EXPECT_EQ(request.spaceID, platform::UUID::parse(kSpace));
  EXPECT_EQ(request.collectionID, std::nullopt);
  EXPECT_EQ(signals_.count(1), 1);
}

TEST_F(ShareEndToEndTest, SavesALinkAndTextFromTheNoteField) {
  // Qt's own options are Qt's, not things to share.
  int status = runShare({"-platform", "xcb", "https://www.example.com/a", "--text", "A quote",
                         home_.file("missing.png")},
                        {{"key", "Return"}}, "link-and-text");
  EXPECT_EQ(status, 0);
  auto written = captures();
  ASSERT_EQ(written.size(), 2u);
  std::map<IncomingRequest::Kind, IncomingRequest> byKind;
  for (const auto& [folder, request] : written) byKind[request.kind] = request;
  EXPECT_EQ(byKind[IncomingRequest::Kind::link].url, "https://www.example.com/a");
  EXPECT_EQ(byKind[IncomingRequest::Kind::text].text, "A quote");
  EXPECT_EQ(signals_.count(1), 1);
}

TEST_F(ShareEndToEndTest, EscapeCancelsWithoutWritingOrTelling) {
  int status = runShare({picture_}, {{"type", "Never mind"}, {"key", "Escape"}}, "cancelled");
  EXPECT_EQ(status, 1);
  EXPECT_FALSE(fs::exists(inbox()));
  EXPECT_EQ(signals_.count(0), 0);
}

TEST_F(ShareEndToEndTest, OpensFromTheDesktopEntryWithOneFileOrSeveral) {
  std::string second = home_.file("Pictures/blue lamp.png");
  QImage blue(8, 8, QImage::Format_RGB32);
  blue.fill(Qt::blue);
  ASSERT_TRUE(blue.save(QString::fromStdString(second), "PNG"));
  struct Case {
    const char* name;
    std::vector<std::string> files;
  };
  for (const Case& c : {Case{"one-file", {picture_}}, Case{"two-files", {picture_, second}}}) {
    SCOPED_TRACE(c.name);
    fs::remove_all(inbox());
    EXPECT_EQ(launchShare(c.files, {{"key", "Return"}}, std::string("launched-") + c.name), 0);
    auto written = captures();
    ASSERT_EQ(written.size(), c.files.size());
    std::set<std::string> names;
    for (const auto& [folder, request] : written) names.insert(request.fileName.value_or(""));
    std::set<std::string> expected;
    for (const std::string& file : c.files) expected.insert(fs::path(file).filename().string());
    EXPECT_EQ(names, expected);
  }
}

TEST_F(ShareEndToEndTest, EscapeCancelsWhatTheDesktopEntryOpened) {
  EXPECT_EQ(launchShare({picture_}, {{"key", "Escape"}}, "launched-cancelled"), 1);
  EXPECT_FALSE(fs::exists(inbox()));
  EXPECT_EQ(signals_.count(0), 0);
}

// A file the host would set aside, a FIFO and a device are refused: Save writes no capture and
// the dialog stays open saying why, until the person cancels.
TEST_F(ShareEndToEndTest, RefusesDevicesFIFOsAndFilesOverTheLimit) {
  std::string big = home_.file("big.pdf");
  std::ofstream(big).close();
  fs::resize_file(big, 300ull << 20);  // sparse
  std::string fifo = home_.file("pipe.pdf");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Program share({std::string(NOLT_BIN_DIR) + "/nolt-share", big, fifo, "/dev/zero"}, environment_);
  ASSERT_TRUE(typeInto(share.pid(), {}, "refused-before"));
  auto window = session_->waitForWindow(share.pid());
  ASSERT_TRUE(window);
  // The summary line at the top of the form says why; the note's cursor blinks below it.
  auto summary = [&] {
    QImage shown = session_->screenshot(*window);
    return shown.copy(0, 0, shown.width(), 60);
  };
  const QImage asked = summary();
  ASSERT_FALSE(asked.isNull());
  ASSERT_EQ(session_->tool({"xdotool", "key", "Return"}).status, 0);
  EXPECT_TRUE(waitUntil(
      10, [&] { return summary() != asked; }, 0.05))
      << "no refusal shown";
  photograph("refused");  // "big.pdf is over 200 MB. Can't read pipe.pdf. Can't read zero."
  ASSERT_EQ(session_->tool({"xdotool", "key", "Escape"}).status, 0);
  EXPECT_EQ(share.wait(), 1) << "a refused save closed the dialog";
  EXPECT_TRUE(captures().empty());
  EXPECT_EQ(signals_.count(0), 0);
}

}  // namespace
}  // namespace nolt
