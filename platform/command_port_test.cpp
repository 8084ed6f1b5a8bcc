#include "platform/command_port.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/testing/test_environment.h"
#include "tests/support/test_host_process.h"

namespace nolt::platform {
namespace {

using testing::TestEnvironment;

using Status = PortConnection::Status;
constexpr const char* kName = "group.app.nolt.cli";

int boundSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

// Serves one connection on a thread with `behaviour`, then closes it.
class OneShotServer {
 public:
  OneShotServer(const std::string& path, std::function<void(int)> behaviour)
      : listener_(boundSocket(path)) {
    EXPECT_EQ(listen(listener_, 4), 0);
    thread_ = std::thread([this, behaviour] {
      int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      behaviour(fd);
      close(fd);
    });
  }
  ~OneShotServer() {
    shutdown(listener_, SHUT_RDWR);  // frees an accept() nobody connected to
    thread_.join();
    close(listener_);
  }

 private:
  int listener_;
  std::thread thread_;
};

void writeBytes(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::string lengthPrefix(std::uint32_t length) {
  return {static_cast<char>(length >> 24), static_cast<char>(length >> 16),
          static_cast<char>(length >> 8), static_cast<char>(length)};
}

bool readBytes(int fd, std::string& out, std::size_t size) {
  out.resize(size);
  std::size_t have = 0;
  while (have < size) {
    ssize_t n = recv(fd, out.data() + have, size - have, 0);
    if (n <= 0) return false;
    have += static_cast<std::size_t>(n);
  }
  return true;
}

// The request frame as the server saw it: message id, then payload.
std::pair<std::uint32_t, std::string> readRequest(int fd) {
  std::string header, payload;
  if (!readBytes(fd, header, 8)) return {~0u, "<cut>"};
  auto word = [&](int at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(header[at + i]);
    return v;
  };
  if (!readBytes(fd, payload, word(4))) return {~0u, "<cut>"};
  return {word(0), payload};
}

void waitForClientClose(int fd) {
  char c;
  while (recv(fd, &c, 1, 0) > 0) {
  }
}

class CommandPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    env_.variables["XDG_RUNTIME_DIR"] = temp_.path();
  }
  std::string socketPath() const { return temp_.file(kName); }

  test_support::TempDir temp_;
  TestEnvironment env_;
};

TEST_F(CommandPortTest, ExchangesOneFrameEachWay) {
  const std::string big(3 << 20, 'x');
  struct Case {
    const char* name;
    std::function<void(int)> server;
    Status status;
    std::string reply;
  };
  const Case cases[] = {
      {"reply", [](int fd) { readRequest(fd), writeBytes(fd, lengthPrefix(4) + "pong"); },
       Status::success, "pong"},
      {"zero-length reply", [](int fd) { readRequest(fd), writeBytes(fd, lengthPrefix(0)); },
       Status::success, ""},
      {"reply larger than socket buffers",
       [&](int fd) { readRequest(fd), writeBytes(fd, lengthPrefix(big.size()) + big); },
       Status::success, big},
      {"closes without replying", [](int fd) { readRequest(fd); }, Status::transportError, ""},
      {"closes inside the length",
       [](int fd) { readRequest(fd), writeBytes(fd, std::string_view("\0\0", 2)); },
       Status::transportError, ""},
      {"closes inside the payload",
       [](int fd) { readRequest(fd), writeBytes(fd, lengthPrefix(10) + "abc"); },
       Status::transportError, ""},
      {"declares more than 1 GiB",
       [](int fd) {
         readRequest(fd);
         writeBytes(fd, lengthPrefix(kMaxReplyBytes + 1) + "abc");
         waitForClientClose(fd);
       },
       Status::transportError, ""},
      {"declares 4 GiB",
       [](int fd) {
         readRequest(fd);
         writeBytes(fd, "\xff\xff\xff\xff");
         waitForClientClose(fd);
       },
       Status::transportError, ""},
      {"never replies",
       [](int fd) {
         readRequest(fd);
         waitForClientClose(fd);
       },
       Status::receiveTimeout, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(socketPath().c_str());
    auto start = std::chrono::steady_clock::now();
    {
      OneShotServer server(socketPath(), c.server);
      // Only the silent host's case waits out the receive time: the others get the whole
      // minute, so a loaded machine moving 3 MiB slowly is not taken for silence.
      auto port = makeUnixCommandPort(env_, c.status == Status::receiveTimeout ? 0.3 : 60);
      auto connection = port->open(kName);
      ASSERT_TRUE(connection);
      std::string reply = "stale";
      EXPECT_EQ(connection->sendRequest(0, R"({"command":"ping"})", 10, 60, reply), c.status);
      EXPECT_EQ(reply.size(), c.reply.size());
      EXPECT_TRUE(reply == c.reply);
    }
    // Only the silent host may cost the capped receive time; nothing waits the full minute.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
}

TEST_F(CommandPortTest, SendsMessageIDAndPayloadOnce) {
  // Small requests leave in one write with their header, larger ones after it.
  for (const std::string& payload :
       {std::string("hello"), std::string(64 << 10, 'a'), std::string((64 << 10) + 1, 'b')}) {
    SCOPED_TRACE(payload.size());
    unlink(socketPath().c_str());
    std::pair<std::uint32_t, std::string> seen;
    {
      OneShotServer server(socketPath(), [&](int fd) {
        seen = readRequest(fd);
        writeBytes(fd, lengthPrefix(2) + "ok");
      });
      auto connection = makeUnixCommandPort(env_)->open(kName);
      ASSERT_TRUE(connection);
      std::string reply;
      EXPECT_EQ(connection->sendRequest(0x01020304, payload, 10, 60, reply), Status::success);
      EXPECT_EQ(reply, "ok");
      // One exchange per connection: a second request has no reply to wait for.
      EXPECT_EQ(connection->sendRequest(0, "again", 10, 60, reply), Status::transportError);
    }
    EXPECT_EQ(seen.first, 0x01020304u);
    EXPECT_TRUE(seen.second == payload);
  }
}

TEST_F(CommandPortTest, ReceiveTimeRunsFromTheEndOfSending) {
  OneShotServer server(socketPath(), [](int fd) {
    readRequest(fd);
    waitForClientClose(fd);
  });
  auto connection = makeUnixCommandPort(env_, 0.2)->open(kName);
  ASSERT_TRUE(connection);
  std::string reply;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(connection->sendRequest(0, "x", 10, 60, reply), Status::receiveTimeout);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(190));
  EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST_F(CommandPortTest, HostThatNeverReadsIsASendTimeout) {
  OneShotServer server(socketPath(), waitForClientClose);
  auto connection = makeUnixCommandPort(env_)->open(kName);
  ASSERT_TRUE(connection);
  std::string reply;
  std::string request(32 << 20, 'r');  // far more than a socket buffers
  EXPECT_EQ(connection->sendRequest(0, request, 0.2, 60, reply), Status::sendTimeout);
}

TEST_F(CommandPortTest, HostGoneWhileSendingIsATransportError) {
  // Writing to a closed socket raises SIGPIPE unless suppressed; this test would die of it.
  OneShotServer server(socketPath(), [](int) {});
  auto connection = makeUnixCommandPort(env_)->open(kName);
  ASSERT_TRUE(connection);
  std::string reply;
  std::string request(32 << 20, 'r');
  EXPECT_EQ(connection->sendRequest(0, request, 10, 60, reply), Status::transportError);
}

TEST_F(CommandPortTest, NoPortWithoutALiveSocketOfOurs) {
  auto port = makeUnixCommandPort(env_);
  EXPECT_FALSE(port->open(kName)) << "no socket file";

  int stale = boundSocket(socketPath());  // a socket file nobody listens on
  EXPECT_FALSE(port->open(kName)) << "refused";
  close(stale);
  unlink(socketPath().c_str());

  {
    OneShotServer server(socketPath(), [](int) {});
    TestEnvironment stranger = env_;
    stranger.uid = getuid() + 1;
    EXPECT_FALSE(makeUnixCommandPort(stranger)->open(kName)) << "served by another user";
  }

  TestEnvironment longPath = env_;
  longPath.variables["XDG_RUNTIME_DIR"] = temp_.path() + "/" + std::string(120, 'a');
  EXPECT_FALSE(makeUnixCommandPort(longPath)->open(kName)) << "path beyond sun_path";

  TestEnvironment nowhere;
  EXPECT_FALSE(makeUnixCommandPort(nowhere)->open(kName)) << "no runtime directory";
}

}  // namespace
}  // namespace nolt::platform
