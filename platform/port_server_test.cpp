#include "platform/port_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "platform/command_port.h"
#include "platform/identifiers.h"
#include "platform/port_frame.h"
#include "platform/testing/test_environment.h"
#include "tests/support/test_host_process.h"

namespace nolt::platform {
namespace {

using testing::TestEnvironment;

namespace fs = std::filesystem;

std::string frame(std::uint32_t messageID, std::string_view payload) {
  auto header = encodeRequestHeader({messageID, static_cast<std::uint32_t>(payload.size())});
  return std::string(header.data(), header.size()) + std::string(payload);
}

class PortServerTest : public ::testing::Test {
 protected:
  PortServerTest() {
    env_.variables["XDG_RUNTIME_DIR"] = folder_.path();
    options_.headerTimeout = 0.2;
    options_.requestTimeout = 0.2;
  }
  ~PortServerTest() override { server_.reset(); }

  std::string socketPath() const { return folder_.file(kCommandPortName); }

  void serve() {
    server_ = std::make_unique<PortServer>(
        socketPath(), [](std::string_view request) { return "echo " + std::string(request); },
        options_);
    server_->start();
  }

  // The reply payload through the programs' own port client, or the failed status.
  std::string ask(std::string_view request) {
    auto port = makeUnixCommandPort(env_, 5.0);
    std::unique_ptr<PortConnection> connection = port->open(kCommandPortName);
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
    if (!bytes.empty()) {
      EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    return fd;
  }

  test_support::TempDir folder_;
  TestEnvironment env_;
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
  EXPECT_EQ(ask(std::string(3 << 20, 'x')), "echo " + std::string(3 << 20, 'x'));
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

TEST_F(PortServerTest, SilentSlowAndOversizedClientsAreDroppedWithoutHarmingOthers) {
  options_.maxRequestBytes = 1000;
  serve();
  struct Case {
    std::string name;
    std::string bytes;
  } cases[] = {
      {"silent", ""},
      {"half a header", std::string("\0\0\0\0\0", 5)},
      {"too large", std::string("\0\0\0\0\0\0\x03\xE9", 8)},  // 1001 bytes declared
      {"short payload", frame(0, std::string(16, 'a')).substr(0, 11)},
  };
  for (const Case& c : cases) {
    int fd = connectRaw(c.bytes);
    EXPECT_EQ(ask("after " + c.name), "echo after " + c.name);
    char byte;
    // The server hangs up without a reply: at once for a frame too large, else at the time-out.
    EXPECT_LE(recv(fd, &byte, 1, 0), 0) << c.name;
    close(fd);
  }
}

TEST_F(PortServerTest, IdleConnectionsPastTheLimitMakeRoomForOnesThatSpeak) {
  // No time-out can help here: only making room for the client that speaks can.
  options_.headerTimeout = options_.requestTimeout = 3600;
  options_.maxConnections = 8;
  serve();
  std::vector<int> idle;
  for (int i = 0; i < 8 + 100; ++i) idle.push_back(connectRaw(""));
  EXPECT_EQ(ask("search"), "echo search");
  EXPECT_EQ(ask("search again"), "echo search again");
  EXPECT_LE(server_->openConnections(), 8u);
  for (int fd : idle) close(fd);
}

// Throws from the place the request names; answers otherwise.
class ThrowingExchange final : public PortExchange {
 public:
  bool take(std::string_view part) override {
    request_ += part;
    if (request_ == "take") throw std::bad_alloc();
    return request_ != "refuse";
  }
  std::size_t heldBytes() const override { return request_.size(); }
  Answer finish() override {
    if (request_ == "finish") throw std::runtime_error("no");
    if (request_ == "close") return {Ending::close, {}};
    return {Ending::reply, "ok " + request_};
  }

 private:
  std::string request_;
};

TEST_F(PortServerTest, AFailureOnOneConnectionClosesThatConnectionOnly) {
  options_.workers = 1;
  server_ = std::make_unique<PortServer>(
      socketPath(),
      [](std::uint32_t messageID, std::uint32_t) -> std::unique_ptr<PortExchange> {
        if (messageID == 1) throw std::bad_alloc();
        if (messageID == 2) return nullptr;
        return std::make_unique<ThrowingExchange>();
      },
      options_);
  server_->start();
  struct Case {
    std::uint32_t messageID;
    std::string request;
  } cases[] = {{1, "x"}, {2, "x"}, {0, "take"}, {0, "refuse"}, {0, "finish"}, {0, "close"}};
  for (const Case& c : cases) {
    int fd = connectRaw(frame(c.messageID, c.request));
    char byte;  // closed, with a reset when the request was left unread
    EXPECT_LE(recv(fd, &byte, 1, 0), 0) << c.request;
    close(fd);
    EXPECT_EQ(ask("next"), "ok next") << "after " << c.request;
  }
}

// Counts what it holds and tells the test when the first part has come.
class GatheringExchange final : public PortExchange {
 public:
  GatheringExchange(std::mutex& mutex, std::condition_variable& arrived, std::size_t& taken)
      : mutex_(mutex), arrived_(arrived), taken_(taken) {}
  bool take(std::string_view part) override {
    held_ += part.size();
    std::lock_guard lock(mutex_);
    taken_ += part.size();
    arrived_.notify_all();
    return true;
  }
  std::size_t heldBytes() const override { return held_; }
  Answer finish() override { return {Ending::reply, std::to_string(held_)}; }

 private:
  std::mutex& mutex_;
  std::condition_variable& arrived_;
  std::size_t& taken_;
  std::size_t held_ = 0;
};

TEST_F(PortServerTest, RequestsPastTheMemoryBudgetAreClosedWhileOthersFinish) {
  options_.headerTimeout = options_.requestTimeout = 3600;
  options_.maxHeldBytes = 1000;
  std::mutex mutex;
  std::condition_variable arrived;
  std::size_t taken = 0;
  server_ = std::make_unique<PortServer>(
      socketPath(),
      [&](std::uint32_t, std::uint32_t) {
        return std::make_unique<GatheringExchange>(mutex, arrived, taken);
      },
      options_);
  server_->start();
  std::string first = frame(0, std::string(900, 'a'));
  int a = connectRaw(std::string_view(first).substr(0, 8 + 600));
  {
    std::unique_lock lock(mutex);
    arrived.wait(lock, [&] { return taken == 600; });
  }
  int b = connectRaw(frame(0, std::string(600, 'b')));
  char byte;
  EXPECT_LE(recv(b, &byte, 1, 0), 0);  // 1,200 bytes would be held: closed
  ASSERT_EQ(send(a, first.data() + 8 + 600, 300, MSG_NOSIGNAL), 300);
  char reply[7];
  ASSERT_EQ(recv(a, reply, sizeof reply, MSG_WAITALL), ssize_t(sizeof reply));
  EXPECT_EQ(std::string(reply + 4, 3), "900");
  close(a);
  close(b);
}

TEST_F(PortServerTest, StoppingEndsExchangesStillWaiting) {
  options_.headerTimeout = options_.requestTimeout = 3600;
  serve();
  int fd = connectRaw("");
  while (server_->openConnections() == 0) std::this_thread::yield();
  server_->stop();
  EXPECT_EQ(server_->openConnections(), 0u);
  char byte;
  EXPECT_EQ(recv(fd, &byte, 1, 0), 0);
  close(fd);
}

}  // namespace
}  // namespace nolt::platform
