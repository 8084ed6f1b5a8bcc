// nolt-safari as the browser runs it: framed messages on its standard input, replies on its
// standard output, in a temporary home under a private session bus.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "platform/uuid.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/subprocess.h"
#include "tests/support/test_host_process.h"

namespace nolt::test_support {
namespace {

namespace fs = std::filesystem;

std::string frame(std::string_view body) {
  auto length = static_cast<std::uint32_t>(body.size());
  std::string out(4, '\0');
  std::memcpy(out.data(), &length, 4);
  return out + std::string(body);
}

// The bodies of the frames in `output`; a frame cut short ends the list with "<cut>".
std::vector<std::string> unframe(std::string_view output) {
  std::vector<std::string> bodies;
  while (!output.empty()) {
    std::uint32_t length;
    if (output.size() < 4) return bodies.push_back("<cut>"), bodies;
    std::memcpy(&length, output.data(), 4);
    if (output.size() - 4 < length) return bodies.push_back("<cut>"), bodies;
    bodies.emplace_back(output.substr(4, length));
    output.remove_prefix(4 + length);
  }
  return bodies;
}

struct HostRun {
  int status = -1;
  std::vector<std::string> replies;
};

// Runs nolt-safari with `input` on standard input and the given environment, to the end.
HostRun runHost(const std::string& input, const std::map<std::string, std::string>& environment,
                double timeout = 60) {
  Subprocess::Options options;
  options.argv = {std::string(NOLT_BIN_DIR) + "/nolt-safari"};
  options.environment = environment;
  options.input = options.output = Stream::pipe();
  Subprocess host(std::move(options));
  if (!host.started()) return {};
  // Fed and drained at once, so neither side waits on a full pipe.
  Subprocess::Run finished = host.communicate(input, timeout);
  return {shellStatus(finished.status), unframe(finished.out)};
}

// Capture folders under the inbox, each with the names of its files.
std::map<std::string, std::vector<std::string>> captures(const fs::path& inbox) {
  std::map<std::string, std::vector<std::string>> result;
  if (!fs::is_directory(inbox)) return result;
  for (const auto& folder : fs::directory_iterator(inbox)) {
    std::vector<std::string>& files = result[folder.path().filename()];
    for (const auto& file : fs::directory_iterator(folder)) files.push_back(file.path().filename());
    std::sort(files.begin(), files.end());
  }
  return result;
}

class SafariHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus_.address().empty()) << "dbus-daemon did not start";
    ASSERT_TRUE(signals_.listening());
    env_ = sessionEnvironment(home_.path(), runtime_.path());
    env_["DBUS_SESSION_BUS_ADDRESS"] = bus_.address();
  }

  fs::path container() const { return fs::path(home_.path()) / ".local/share/group.app.nolt"; }
  fs::path inbox() const { return container() / "Incoming"; }

  TempDir home_, runtime_;
  PrivateSessionBus bus_;
  IncomingSignalCounter signals_{bus_.address()};
  std::map<std::string, std::string> env_;
};

TEST_F(SafariHostTest, AnswersEachMessageAndSignalsEachSave) {
  ASSERT_TRUE(home_.write(".local/share/group.app.nolt/destinations.json",
                          R"({"spaces":[{"id":"AAAAAAAA-AAAA-4AAA-8AAA-AAAAAAAAAAAA","name":"W",)"
                          R"("emoji":"","symbol":"","tintName":""}],"collections":[],)"
                          R"("currentSpaceID":"AAAAAAAA-AAAA-4AAA-8AAA-AAAAAAAAAAAA"})"));
  HostRun run =
      runHost(frame(R"({"action":"destinations"})") +
                  frame(R"({"action":"savePage","url":"https://a.example/p","tags":["t"]})") +
                  frame(R"({"action":"saveImage","data":"iVBORw0KGgo=","mime":"image/png"})") +
                  frame(R"({"action":"saveImage","data":"iVBO\nRw0KGgo="})") + frame("[1]"),
              env_);
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.replies.size(), 5u);
  EXPECT_EQ(run.replies[0],
            R"({"destinations":{"collections":[],"currentSpaceID":"AAAAAAAA-AAAA-4AAA-8AAA-)"
            R"(AAAAAAAAAAAA","spaces":[{"emoji":"","id":"AAAAAAAA-AAAA-4AAA-8AAA-AAAAAAAAAAAA",)"
            R"("name":"W","symbol":"","tintName":""}]},"ok":true})");
  EXPECT_EQ(run.replies[1], R"({"ok":true})");
  EXPECT_EQ(run.replies[2], R"({"ok":true})");
  EXPECT_EQ(run.replies[3], R"({"error":"badMessage","ok":false})");
  EXPECT_EQ(run.replies[4], R"({"error":"badMessage","ok":false})");
  EXPECT_EQ(signals_.count(2), 2);

  std::map<std::string, std::vector<std::string>> folders = captures(inbox());
  ASSERT_EQ(folders.size(), 2u);
  int pages = 0, images = 0;
  for (const auto& [name, files] : folders) {
    EXPECT_EQ(platform::UUID::parse(name).value_or(platform::UUID{}).uuidString(), name);
    std::optional<std::string> request = readFile(inbox() / name / "request.json");
    ASSERT_TRUE(request);
    if (files == std::vector<std::string>{"request.json"}) {
      ++pages;
      EXPECT_NE(request->find(R"("url":"https:\/\/a.example\/p")"), std::string::npos);
      EXPECT_NE(request->find(R"("spaceID":"AAAAAAAA-AAAA-4AAA-8AAA-AAAAAAAAAAAA")"),
                std::string::npos);
    } else {
      ++images;
      EXPECT_EQ(files, (std::vector<std::string>{"image.png", "request.json"}));
      EXPECT_EQ(readFile(inbox() / name / "image.png"), "\x89PNG\r\n\x1a\n");
    }
  }
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(images, 1);
}

TEST_F(SafariHostTest, ReportsAContainerItCannotWriteTo) {
  ASSERT_TRUE(home_.write(".local/share/group.app.nolt", "a file, not a folder"));
  HostRun run = runHost(frame(R"({"action":"savePage","url":"https://a.example"})") +
                            frame(R"({"action":"destinations"})"),
                        env_);
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.replies.size(), 2u);
  EXPECT_EQ(run.replies[0].rfind(R"({"error":"could not create the folder \")", 0), 0u)
      << run.replies[0];
  EXPECT_NE(run.replies[0].find(R"(Not a directory","ok":false})"), std::string::npos)
      << run.replies[0];
  EXPECT_EQ(run.replies[1], R"({"destinations":{"collections":[],"spaces":[]},"ok":true})");
  EXPECT_EQ(signals_.count(0), 0);
}

TEST_F(SafariHostTest, WithoutAHomeThereIsNoContainer) {
  env_.erase("HOME");
  env_.erase("XDG_DATA_HOME");
  HostRun run = runHost(frame(R"({"action":"savePage","url":"https://a.example"})"), env_);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.replies, std::vector<std::string>{R"({"error":"noContainer","ok":false})"});
  EXPECT_EQ(signals_.count(0), 0);
}

TEST_F(SafariHostTest, SavesWithoutASessionBus) {
  env_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + runtime_.file("no-bus-here");
  HostRun run = runHost(frame(R"({"action":"savePage","url":"https://a.example"})"), env_);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.replies, std::vector<std::string>{R"({"ok":true})"});
  EXPECT_EQ(captures(inbox()).size(), 1u);
  EXPECT_EQ(signals_.count(0), 0);
}

TEST_F(SafariHostTest, FindsTheBusInTheRuntimeFolder) {
  PrivateSessionBus runtimeBus("unix:path=" + runtime_.file("bus"));
  ASSERT_FALSE(runtimeBus.address().empty());
  IncomingSignalCounter runtimeSignals(runtimeBus.address());
  env_.erase("DBUS_SESSION_BUS_ADDRESS");
  HostRun run = runHost(frame(R"({"action":"savePage","url":"https://a.example"})"), env_);
  EXPECT_EQ(run.replies, std::vector<std::string>{R"({"ok":true})"});
  EXPECT_EQ(runtimeSignals.count(1), 1);
  EXPECT_EQ(signals_.count(0), 0);
}

// A FIFO at destinations.json, which every save reads, holds up no reply; a save the host would
// set aside is refused rather than answered ok.
TEST_F(SafariHostTest, AnswersAtOnceOverAFIFOAndRefusesWhatTheHostWouldNot) {
  fs::create_directories(container());
  ASSERT_EQ(::mkfifo((container() / "destinations.json").c_str(), 0600), 0);
  std::string note(17 << 20, 'n');
  HostRun run = runHost(
      frame(R"({"action":"destinations"})") +
          frame(R"({"action":"savePage","url":"https://a.example"})") +
          frame(R"({"action":"savePage","url":"https://b.example","note":")" + note + "\"}"),
      env_, 5);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.replies,
            (std::vector<std::string>{
                R"({"destinations":{"collections":[],"spaces":[]},"ok":true})", R"({"ok":true})",
                R"({"error":"The capture is over 16 MB.","ok":false})"}));
  EXPECT_EQ(captures(inbox()).size(), 1u);
}

TEST_F(SafariHostTest, StopsOnABrokenStreamWithoutWriting) {
  const std::string save = frame(R"({"action":"savePage","url":"https://a.example"})");
  struct Case {
    const char* name;
    std::string input;
  } cases[] = {
      {"oversized", std::string("\xFF\xFF\xFF\x7F", 4) + save},
      {"header cut short", std::string("\x05\x00", 2)},
      {"body cut short", save.substr(0, save.size() - 1)},
  };
  for (const Case& c : cases) {
    HostRun run = runHost(c.input, env_);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_TRUE(run.replies.empty()) << c.name;
  }
  EXPECT_FALSE(fs::exists(inbox()));
  EXPECT_EQ(signals_.count(0), 0);
}

}  // namespace
}  // namespace nolt::test_support
