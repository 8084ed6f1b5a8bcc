// The serving end's budget for replies its clients have not read yet.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/command_port.h"
#include "platform/identifiers.h"
#include "platform/port_frame.h"
#include "platform/port_server.h"
#include "platform/testing/test_environment.h"
#include "tests/support/deadline.h"
#include "tests/support/temp_dir.h"

namespace nolt::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kLargeReply = 8u << 20;

// True when the server closed the connection: writing to it fails.
bool closedByServer(int fd) {
  return send(fd, "?", 1, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno == EPIPE;
}

// Clients that ask for large replies and never read them: the server holds no more than its
// reply budget for them, closing those that waited longest, and another client's question is
// answered at once.
TEST(PortServerReplyTest, ClientsThatNeverReadCostNoMoreThanTheBudget) {
  test_support::TempDir folder;
  testing::TestEnvironment env;
  env.variables["XDG_RUNTIME_DIR"] = folder.path();
  PortServerOptions options;
  options.maxReplyBytes = 4 * kLargeReply;
  PortServer server(
      folder.file(kCommandPortName),
      [](std::string_view request) {
        return request == "large" ? std::string(kLargeReply, 'x') : "small";
      },
      options);
  server.start();

  std::vector<int> readers;
  for (int i = 0; i < 16; ++i) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = folder.file(kCommandPortName);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    auto header = encodeRequestHeader({0, 5});
    std::string request = std::string(header.data(), header.size()) + "large";
    ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    readers.push_back(fd);
  }
  // Every large reply is made, and all but the budget's worth are let go.
  auto closed = [&] {
    int count = 0;
    for (int fd : readers) count += closedByServer(fd);
    return count;
  };
  EXPECT_TRUE(test_support::waitUntil(10, [&] { return closed() >= 12; }));
  EXPECT_LE(server.openConnections(), 4u);

  auto started = Clock::now();
  std::unique_ptr<PortConnection> connection =
      makeUnixCommandPort(env, 5.0)->open(kCommandPortName);
  ASSERT_TRUE(connection);
  std::string reply;
  EXPECT_EQ(connection->sendRequest(0, "small", 5, 5, reply), PortConnection::Status::success);
  EXPECT_EQ(reply, "small");
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(1));
  for (int fd : readers) close(fd);
}

}  // namespace
}  // namespace nolt::platform
