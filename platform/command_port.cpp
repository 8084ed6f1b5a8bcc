#include "platform/command_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>

#include "platform/directories.h"
#include "platform/environment.h"

namespace nolt::platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

// connect() on a Unix socket waits while the host's backlog is full; a host that stays that
// busy this long is not going to answer.
constexpr int kConnectTimeoutSeconds = 10;
constexpr std::size_t kReadChunk = 64 * 1024;

SteadyClock::time_point deadlineAfter(double seconds) {
  // NaN or negative: already due. Huge values are clamped far beyond any real wait.
  if (!(seconds > 0)) return SteadyClock::now();
  seconds = std::fmin(seconds, 1e7);
  return SteadyClock::now() +
         std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
}

// Milliseconds left until the deadline, rounded up so a wait never ends just short of it.
int millisecondsUntil(SteadyClock::time_point deadline) {
  auto left = deadline - SteadyClock::now();
  if (left <= SteadyClock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

void putBigEndian(char* out, std::uint32_t value) {
  out[0] = static_cast<char>((value >> 24) & 0xff);
  out[1] = static_cast<char>((value >> 16) & 0xff);
  out[2] = static_cast<char>((value >> 8) & 0xff);
  out[3] = static_cast<char>(value & 0xff);
}

std::uint32_t getBigEndian(const char* in) {
  auto byte = [&](int i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])); };
  return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
}

enum class Wait { ready, timedOut, failed };

Wait waitFor(int fd, short events, SteadyClock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, millisecondsUntil(deadline));
    if (n > 0) return Wait::ready;  // errors and hang-ups surface in the following send or recv
    if (n == 0) {
      if (SteadyClock::now() >= deadline) return Wait::timedOut;
      continue;
    }
    if (errno != EINTR) return Wait::failed;
  }
}

class SocketConnection final : public PortConnection {
 public:
  SocketConnection(int fd, std::optional<double> receiveTimeoutCap)
      : fd_(fd), receiveTimeoutCap_(receiveTimeoutCap) {}
  ~SocketConnection() override { close(fd_); }
  SocketConnection(const SocketConnection&) = delete;
  SocketConnection& operator=(const SocketConnection&) = delete;

  Status sendRequest(std::uint32_t messageID, std::string_view request, double sendTimeout,
                     double receiveTimeout, std::string& reply) override {
    reply.clear();
    // One exchange per connection: a second request would read a reply nobody sent.
    if (used_ || request.size() > UINT32_MAX) return Status::transportError;
    used_ = true;

    // The header goes on its own: copying a request that carries a whole file into one frame
    // would hold its text twice.
    char frameHeader[8];
    putBigEndian(frameHeader, messageID);
    putBigEndian(frameHeader + 4, static_cast<std::uint32_t>(request.size()));
    SteadyClock::time_point sendDeadline = deadlineAfter(sendTimeout);
    Status sent = sendAll({frameHeader, sizeof frameHeader}, sendDeadline);
    if (sent == Status::success) sent = sendAll(request, sendDeadline);
    if (sent != Status::success) return sent;

    if (receiveTimeoutCap_) receiveTimeout = std::fmin(receiveTimeout, *receiveTimeoutCap_);
    SteadyClock::time_point deadline = deadlineAfter(receiveTimeout);
    char header[4];
    Status got = receiveExactly(header, sizeof header, deadline);
    if (got != Status::success) return got;
    std::uint32_t length = getBigEndian(header);
    if (length > kMaxReplyBytes) return Status::transportError;
    // The buffer grows with what actually arrives, so a lying length costs nothing.
    std::size_t remaining = length;
    char chunk[kReadChunk];
    while (remaining > 0) {
      std::size_t want = std::min(remaining, sizeof chunk);
      got = receiveExactly(chunk, want, deadline);
      if (got != Status::success) {
        reply.clear();
        return got;
      }
      reply.append(chunk, want);
      remaining -= want;
    }
    return Status::success;
  }

 private:
  Status sendAll(std::string_view bytes, SteadyClock::time_point deadline) {
    while (!bytes.empty()) {
      ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Status::transportError;
      Wait w = waitFor(fd_, POLLOUT, deadline);
      if (w == Wait::timedOut) return Status::sendTimeout;
      if (w == Wait::failed) return Status::transportError;
    }
    return Status::success;
  }

  // Fills `out` with exactly `size` bytes; a chunk may fill only partly before it fails.
  Status receiveExactly(char* out, std::size_t size, SteadyClock::time_point deadline) {
    std::size_t have = 0;
    while (have < size) {
      ssize_t n = recv(fd_, out + have, size - have, MSG_DONTWAIT);
      if (n > 0) {
        have += static_cast<std::size_t>(n);
        continue;
      }
      if (n == 0) return Status::transportError;  // the host closed before the frame was whole
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return Status::transportError;
      Wait w = waitFor(fd_, POLLIN, deadline);
      if (w == Wait::timedOut) return Status::receiveTimeout;
      if (w == Wait::failed) return Status::transportError;
    }
    return Status::success;
  }

  int fd_;
  std::optional<double> receiveTimeoutCap_;
  bool used_ = false;
};

class UnixCommandPort final : public CommandPort {
 public:
  UnixCommandPort(Environment& env, std::optional<double> receiveTimeoutCap)
      : env_(env), receiveTimeoutCap_(receiveTimeoutCap) {}

  std::unique_ptr<PortConnection> open(std::string_view name) override {
    std::optional<std::string> folder = runtimeDirectory(env_);
    if (!folder || name.empty()) return nullptr;
    std::string path = *folder + "/" + std::string(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Truncating the path would talk to some other socket.
    if (path.size() >= sizeof address.sun_path) return nullptr;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    timeval connectTimeout{kConnectTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &connectTimeout, sizeof connectTimeout);
    int rc;
    do {
      rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    // A port served by another user is never talked to.
    ucred peer{};
    socklen_t peerSize = sizeof peer;
    if (rc != 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) != 0 ||
        peer.uid != env_.userID()) {
      close(fd);
      return nullptr;
    }
    return std::make_unique<SocketConnection>(fd, receiveTimeoutCap_);
  }

 private:
  Environment& env_;
  std::optional<double> receiveTimeoutCap_;
};

}  // namespace

std::unique_ptr<CommandPort> makeUnixCommandPort(Environment& env,
                                                 std::optional<double> receiveTimeoutCap) {
  return std::make_unique<UnixCommandPort>(env, receiveTimeoutCap);
}

}  // namespace nolt::platform
