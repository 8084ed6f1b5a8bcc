#include "platform/port_frame.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>

namespace nolt::platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

void putBigEndian(char* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xff);
}

std::uint32_t getBigEndian(const char* in) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(in[i]);
  return value;
}

enum class Wait { ready, timedOut, failed };

Wait waitFor(int fd, short events, Deadline deadline) {
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

}  // namespace

std::array<char, kRequestHeaderBytes> encodeRequestHeader(RequestHeader header) {
  std::array<char, kRequestHeaderBytes> bytes;
  putBigEndian(bytes.data(), header.messageID);
  putBigEndian(bytes.data() + 4, header.length);
  return bytes;
}

RequestHeader decodeRequestHeader(const char* bytes) {
  return {getBigEndian(bytes), getBigEndian(bytes + 4)};
}

std::array<char, kReplyHeaderBytes> encodeReplyHeader(std::uint32_t length) {
  std::array<char, kReplyHeaderBytes> bytes;
  putBigEndian(bytes.data(), length);
  return bytes;
}

std::uint32_t decodeReplyHeader(const char* bytes) { return getBigEndian(bytes); }

Deadline deadlineAfter(double seconds) {
  if (!(seconds > 0)) return SteadyClock::now();
  seconds = std::fmin(seconds, 1e7);
  return SteadyClock::now() +
         std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
}

int millisecondsUntil(Deadline deadline) {
  auto left = deadline - SteadyClock::now();
  if (left <= SteadyClock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

IOResult sendAll(int fd, std::string_view bytes, Deadline deadline) {
  while (!bytes.empty()) {
    ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EPIPE) return IOResult::closed;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return IOResult::failed;
    Wait w = waitFor(fd, POLLOUT, deadline);
    if (w == Wait::timedOut) return IOResult::timedOut;
    if (w == Wait::failed) return IOResult::failed;
  }
  return IOResult::done;
}

IOResult receiveExactly(int fd, char* out, std::size_t size, Deadline deadline) {
  std::size_t have = 0;
  while (have < size) {
    ssize_t n = recv(fd, out + have, size - have, MSG_DONTWAIT);
    if (n > 0) {
      have += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return IOResult::closed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return IOResult::failed;
    Wait w = waitFor(fd, POLLIN, deadline);
    if (w == Wait::timedOut) return IOResult::timedOut;
    if (w == Wait::failed) return IOResult::failed;
  }
  return IOResult::done;
}

}  // namespace nolt::platform
