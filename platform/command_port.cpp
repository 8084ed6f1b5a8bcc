#include "platform/command_port.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/directories.h"
#include "platform/environment.h"
#include "platform/port_frame.h"

namespace nolt::platform {

namespace {

// connect() on a Unix socket waits while the host's backlog is full; a host that stays that
// busy this long is not going to answer.
constexpr int kConnectTimeoutSeconds = 10;
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kOneWriteBytes = 64 * 1024;

PortConnection::Status failedStatus(IOResult result, PortConnection::Status onTimeout) {
  return result == IOResult::timedOut ? onTimeout : PortConnection::Status::transportError;
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

    auto header = encodeRequestHeader({messageID, static_cast<std::uint32_t>(request.size())});
    Deadline sendDeadline = deadlineAfter(sendTimeout);
    IOResult sent;
    if (request.size() <= kOneWriteBytes) {
      // A small request leaves in one write with its header, so the host wakes once for it.
      std::string frame(header.data(), header.size());
      frame.append(request);
      sent = sendAll(fd_, frame, sendDeadline);
    } else {
      // A large one goes after its header: copying a request that carries a whole file into
      // one frame would hold its text twice.
      sent = sendAll(fd_, {header.data(), header.size()}, sendDeadline);
      if (sent == IOResult::done) sent = sendAll(fd_, request, sendDeadline);
    }
    if (sent != IOResult::done) return failedStatus(sent, Status::sendTimeout);
    return receiveReply(receiveTimeout, reply);
  }

  Status sendStreamedRequest(std::uint32_t messageID, std::uint32_t length,
                             const std::function<void(const PayloadWriter&)>& produce,
                             double sendTimeout, double receiveTimeout,
                             std::string& reply) override {
    reply.clear();
    if (used_) return Status::transportError;
    used_ = true;
    auto header = encodeRequestHeader({messageID, length});
    Deadline deadline = deadlineAfter(sendTimeout);
    IOResult sent = sendAll(fd_, {header.data(), header.size()}, deadline);
    std::uint64_t written = 0;
    produce([&](std::string_view piece) {
      if (sent != IOResult::done) return false;
      if (written + piece.size() > length) {
        sent = IOResult::failed;  // more than the frame declared: never sent
        return false;
      }
      written += piece.size();
      sent = sendAll(fd_, piece, deadline);
      return sent == IOResult::done;
    });
    if (sent != IOResult::done) return failedStatus(sent, Status::sendTimeout);
    if (written != length) {
      // The frame stays short for good: the host sees its end and takes nothing.
      shutdown(fd_, SHUT_RDWR);
      return Status::transportError;
    }
    return receiveReply(receiveTimeout, reply);
  }

 private:
  Status receiveReply(double receiveTimeout, std::string& reply) {
    if (receiveTimeoutCap_) receiveTimeout = std::fmin(receiveTimeout, *receiveTimeoutCap_);
    Deadline deadline = deadlineAfter(receiveTimeout);
    char header[kReplyHeaderBytes];
    IOResult got = receiveExactly(fd_, header, sizeof header, deadline);
    if (got != IOResult::done) return failedStatus(got, Status::receiveTimeout);
    std::uint32_t length = decodeReplyHeader(header);
    if (length > kMaxReplyBytes) return Status::transportError;
    // The reply grows a chunk at a time as bytes arrive, so a lying length costs at most one
    // chunk; it is read in place rather than through a buffer on the stack.
    std::size_t remaining = length;
    while (remaining > 0) {
      std::size_t want = std::min(remaining, kReadChunk);
      std::size_t have = reply.size();
      reply.resize(have + want);
      got = receiveExactly(fd_, reply.data() + have, want, deadline);
      if (got != IOResult::done) {
        reply.clear();
        return failedStatus(got, Status::receiveTimeout);
      }
      remaining -= want;
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
    std::optional<std::string> found = portSocketPath(env_, name);
    if (!found) return nullptr;
    const std::string& path = *found;
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

std::optional<std::string> portSocketPath(Environment& env, std::string_view name) {
  std::optional<std::string> folder = runtimeDirectory(env);
  if (!folder || name.empty()) return std::nullopt;
  return *folder + "/" + std::string(name);
}

PortConnection::Status PortConnection::sendStreamedRequest(
    std::uint32_t messageID, std::uint32_t length,
    const std::function<void(const PayloadWriter&)>& produce, double sendTimeout,
    double receiveTimeout, std::string& reply) {
  std::string payload;
  produce([&](std::string_view piece) {
    payload += piece;
    return true;
  });
  if (payload.size() != length) {
    reply.clear();
    return Status::transportError;
  }
  return sendRequest(messageID, payload, sendTimeout, receiveTimeout, reply);
}

std::unique_ptr<CommandPort> makeUnixCommandPort(Environment& env,
                                                 std::optional<double> receiveTimeoutCap) {
  return std::make_unique<UnixCommandPort>(env, receiveTimeoutCap);
}

}  // namespace nolt::platform
