#include "host/port_server.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "host/instance_record.h"
#include "platform/command_port.h"
#include "platform/identifiers.h"
#include "platform/test_environment.h"

namespace nolt::host {
namespace {

namespace fs = std::filesystem;
using platform::PortConnection;

class PortServerTest : public ::testing::Test {
 protected:
  PortServerTest() {
    env_.variables["XDG_RUNTIME_DIR"] = folder_.string();
    options_.requestTimeout = 0.2;
  }
  ~PortServerTest() override {
    server_.reset();
    fs::remove_all(folder_);
  }

  static fs::path temporaryFolder() {
    char pattern[] = "/tmp/nolt-port-XXXXXX";
    return mkdtemp(pattern);
  }

  std::string socketPath() const { return (folder_ / platform::kCommandPortName).string(); }

  void serve() {
    server_ = std::make_unique<PortServer>(
        socketPath(), [](std::string_view request) { return "echo " + std::string(request); },
        options_);
    server_->start();
  }

  // The reply payload through the programs' own port client, or the failed status.
  std::string ask(std::string_view request) {
    auto port = platform::makeUnixCommandPort(env_, 5.0);
    std::unique_ptr<PortConnection> connection = port->open(platform::kCommandPortName);
    if (!connection) return "no port";
    std::string reply;
    auto status = connection->sendRequest(0, request, 5, 5, reply);
    return status == PortConnection::Status::success ? reply : "failed";
  }

  // A raw connection that sends `bytes` and then waits.
  int connectRaw(std::string_view bytes) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = socketPath();
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    return fd;
  }

  fs::path folder_ = temporaryFolder();
  platform::TestEnvironment env_;
  PortServerOptions options_;
  std::unique_ptr<PortServer> server_;
};

TEST_F(PortServerTest, AnswersEachRequestOnASocketOnlyItsUserCanUse) {
  serve();
  struct stat info {};
  ASSERT_EQ(stat(socketPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ask(R"({"command":"spaces","arguments":{}})"),
            R"(echo {"command":"spaces","arguments":{}})");
  EXPECT_EQ(ask(""), "echo ");
  server_->stop();
  EXPECT_FALSE(fs::exists(socketPath()));
  EXPECT_EQ(ask("x"), "no port");
}

TEST_F(PortServerTest, FiftyClientsAtOnceAllGetTheirAnswers) {
  serve();
  std::vector<std::string> replies(50);
  std::vector<std::thread> clients;
  for (int i = 0; i < 50; ++i)
    clients.emplace_back([&, i] { replies[i] = ask("request " + std::to_string(i)); });
  for (std::thread& client : clients) client.join();
  for (int i = 0; i < 50; ++i) EXPECT_EQ(replies[i], "echo request " + std::to_string(i));
}

TEST_F(PortServerTest, SilentAndOversizedClientsAreDroppedWithoutHarmingOthers) {
  options_.maxRequestBytes = 1000;
  serve();
  struct Case {
    std::string name;
    std::string bytes;
  } cases[] = {
      {"silent", ""},
      {"half a header", std::string("\0\0\0\0\0", 5)},
      {"too large", std::string("\0\0\0\0\0\0\x03\xE9", 8)},  // 1001 bytes declared
      {"short payload", std::string("\0\0\0\0\0\0\0\x10"
                                    "abc",
                                    11)},
  };
  for (const Case& c : cases) {
    int fd = connectRaw(c.bytes);
    EXPECT_EQ(ask("after " + c.name), "echo after " + c.name);
    char byte;
    // The host hangs up without a reply: at once for a frame too large, else at the time-out.
    EXPECT_EQ(recv(fd, &byte, 1, 0), 0) << c.name;
    close(fd);
  }
}

TEST_F(PortServerTest, StoppingEndsExchangesStillWaiting) {
  options_.requestTimeout = 3600;
  serve();
  int fd = connectRaw("");
  while (server_->openConnections() == 0) std::this_thread::yield();
  server_->stop();
  EXPECT_EQ(server_->openConnections(), 0u);
  close(fd);
}

TEST(InstanceRecordTest, OneHostAtATimeLaunchingThenRunning) {
  char pattern[] = "/tmp/nolt-instance-XXXXXX";
  fs::path folder = mkdtemp(pattern);
  std::string path = (folder / "app.nolt.Nolt.instance").string();
  auto word = [&] {
    std::string text(16, '\0');
    FILE* f = std::fopen(path.c_str(), "r");
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    return text;
  };
  {
    std::optional<InstanceRecord> first = InstanceRecord::acquire(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(word(), "launching\n");
    EXPECT_FALSE(InstanceRecord::acquire(path));
    first->setRunning();
    EXPECT_EQ(word(), "running\n");
  }
  EXPECT_TRUE(InstanceRecord::acquire(path));  // a record nobody holds is stale
  fs::remove_all(folder);
}

}  // namespace
}  // namespace nolt::host
