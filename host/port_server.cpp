#include "host/port_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace nolt::host {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until `fd` is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    return true;
  }
}

// Appends `size` bytes read before the deadline; false on time-out, error or end of stream.
bool readExactly(int fd, std::string& into, std::size_t size, Clock::time_point deadline) {
  // The buffer grows with what arrives, so a client that only declares a large frame costs
  // no memory.
  constexpr std::size_t kChunk = 1 << 20;
  std::size_t end = into.size() + size;
  while (into.size() < end) {
    if (!waitFor(fd, POLLIN, deadline)) return false;
    std::size_t have = into.size();
    std::size_t want = std::min(kChunk, end - have);
    into.resize(have + want);
    ssize_t n = recv(fd, into.data() + have, want, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
      n = 0;
    else if (n <= 0)
      return false;
    into.resize(have + static_cast<std::size_t>(n));
  }
  return true;
}

bool writeAll(int fd, std::string_view bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    if (!waitFor(fd, POLLOUT, deadline)) return false;
    ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::uint32_t bigEndian(const char* b) {
  auto byte = [&](int i) { return std::uint32_t(static_cast<unsigned char>(b[i])); };
  return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
}

Clock::time_point after(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

bool sameUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid();
}

}  // namespace

PortServer::PortServer(std::string socketPath, Responder responder, PortServerOptions options)
    : path_(std::move(socketPath)), responder_(std::move(responder)), options_(options) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path)
    throw ServerError("The socket path is too long: " + path_);
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0 || pipe2(wake_, O_CLOEXEC) != 0)
    throw ServerError(std::string("Can't make a socket: ") + std::strerror(errno));
  // The caller holds the instance lock, so a socket already there belongs to a dead host.
  unlink(path_.c_str());
  // Created 0600 from the start: no moment exists in which another user could connect.
  mode_t previous = umask(0177);
  int bound = bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  umask(previous);
  if (bound != 0 || chmod(path_.c_str(), 0600) != 0 || listen(listener_, 128) != 0) {
    std::string reason = std::strerror(errno);
    close(listener_);
    close(wake_[0]);
    close(wake_[1]);
    throw ServerError("Can't serve " + path_ + ": " + reason);
  }
}

PortServer::~PortServer() {
  stop();
  close(wake_[0]);
  close(wake_[1]);
}

void PortServer::start() {
  acceptor_ = std::thread([this] { acceptLoop(); });
}

void PortServer::stop() {
  if (stopping_.exchange(true)) return;
  char byte = 0;
  if (write(wake_[1], &byte, 1) < 0) {
    // The pipe cannot be full with one byte; the accept loop also checks stopping_.
  }
  if (acceptor_.joinable()) acceptor_.join();
  if (listener_ >= 0) {
    close(listener_);
    listener_ = -1;
    unlink(path_.c_str());
  }
  std::unique_lock lock(mutex_);
  for (int fd : connections_) shutdown(fd, SHUT_RDWR);
  allDone_.wait(lock, [&] { return connections_.empty(); });
}

std::size_t PortServer::openConnections() {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

void PortServer::acceptLoop() {
  while (!stopping_) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents || stopping_) return;
    int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors: give the exchanges under way a moment to finish and free some.
      if (errno == EMFILE || errno == ENFILE)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    if (!sameUser(fd)) {
      close(fd);
      continue;
    }
    std::lock_guard lock(mutex_);
    connections_.insert(fd);
    std::thread([this, fd] {
      serve(fd);
      std::lock_guard lock(mutex_);
      connections_.erase(fd);
      close(fd);
      allDone_.notify_all();
    }).detach();
  }
}

void PortServer::serve(int fd) {
  Clock::time_point deadline = after(options_.requestTimeout);
  std::string header;
  if (!readExactly(fd, header, 8, deadline)) return;
  // The message id is always 0 from our clients; others are answered the same way.
  std::uint32_t length = bigEndian(header.data() + 4);
  if (length > options_.maxRequestBytes) return;
  std::string request;
  if (!readExactly(fd, request, length, deadline)) return;
  std::string reply = responder_(request);
  request = std::string();  // the request may be large; the reply does not need it
  std::string frame(4, '\0');
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>(reply.size() >> (24 - 8 * i));
  frame += reply;
  writeAll(fd, frame, after(options_.replyTimeout));
}

}  // namespace nolt::host
