#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "capture/incoming_request.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/test_host_process.h"

namespace nolt {
namespace {

namespace fs = std::filesystem;
using capture::IncomingRequest;
using test_support::IncomingSignalCounter;
using test_support::PrivateSessionBus;
using test_support::TempDir;

const char kSpace[] = "5BACE000-0000-4000-8000-000000000001";

// Runs nolt-share to its end (at most 30 s) and gives its exit status, or -1.
int runShare(const std::vector<std::string>& arguments,
             const std::map<std::string, std::string>& environment) {
  std::vector<std::string> pairs;
  for (const auto& [name, value] : environment) pairs.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& pair : pairs) envp.push_back(pair.data());
  envp.push_back(nullptr);
  std::string program = std::string(NOLT_BIN_DIR) + "/nolt-share";
  std::vector<std::string> args = {program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
    return -1;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ShareEndToEndTest : public ::testing::Test {
 protected:
  ShareEndToEndTest() {
    environment_ = {{"HOME", home_.path()},
                    {"PATH", "/usr/bin:/bin"},
                    {"XDG_RUNTIME_DIR", home_.path()},
                    {"QT_QPA_PLATFORM", "offscreen"},
                    {"DBUS_SESSION_BUS_ADDRESS", bus_.address()}};
    // Sanitizer settings follow the test into nolt-share.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
      if (const char* value = std::getenv(name)) environment_[name] = value;
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

  fs::path inbox() const { return fs::path(home_.path()) / ".local/share/group.app.nolt/Incoming"; }

  std::vector<std::pair<fs::path, IncomingRequest>> captures() {
    std::vector<std::pair<fs::path, IncomingRequest>> out;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(inbox(), ignored)) {
      auto text = test_support::readFile((entry.path() / "request.json").string());
      auto request = text ? IncomingRequest::decode(*text) : std::nullopt;
      EXPECT_TRUE(request) << entry.path();
      if (request) out.emplace_back(entry.path(), *request);
    }
    return out;
  }

  TempDir home_;
  PrivateSessionBus bus_;
  IncomingSignalCounter signals_{bus_.address()};
  std::map<std::string, std::string> environment_;
  std::string picture_;
};

TEST_F(ShareEndToEndTest, SavesAPictureWithNoteTagsAndSpace) {
  ASSERT_TRUE(signals_.listening());
  int status =
      runShare({"--test-keys==Nice chair|Tab|=Red,chairs |Return", picture_}, environment_);
  EXPECT_EQ(status, 0);
  auto written = captures();
  ASSERT_EQ(written.size(), 1u);
  const auto& [folder, request] = written.front();
  EXPECT_EQ(folder.filename().string().size(), 36u);
  EXPECT_EQ(request.kind, IncomingRequest::Kind::file);
  EXPECT_EQ(request.fileName, "red chair.png");
  EXPECT_EQ(test_support::readFile((folder / "red chair.png").string()),
            test_support::readFile(picture_));
  EXPECT_EQ(request.tags, (std::vector<std::string>{"red", "chairs"}));
  EXPECT_EQ(request.note, "Nice chair");
  EXPECT_EQ(request.spaceID, platform::UUID::parse(kSpace));
  EXPECT_EQ(request.collectionID, std::nullopt);
  EXPECT_EQ(signals_.count(1), 1);
}

TEST_F(ShareEndToEndTest, SavesALinkAndTextFromTheNoteField) {
  int status = runShare({"--test-keys=Return", "https://www.example.com/a", "--text", "A quote",
                         home_.file("missing.png")},
                        environment_);
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
  int status = runShare({"--test-keys==Never mind|Escape", picture_}, environment_);
  EXPECT_EQ(status, 1);
  EXPECT_FALSE(fs::exists(inbox()));
  EXPECT_EQ(signals_.count(0), 0);
}

}  // namespace
}  // namespace nolt
