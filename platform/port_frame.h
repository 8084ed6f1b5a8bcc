// platform/port_frame.h - the command port's frames, and the deadline-bound socket reads and
// writes that both ends of the port use.
//   request frame: message id (4 bytes, big-endian), payload length (4 bytes), payload;
//   reply frame:   payload length (4 bytes, big-endian), payload.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nolt::platform {

inline constexpr std::size_t kRequestHeaderBytes = 8;
inline constexpr std::size_t kReplyHeaderBytes = 4;

struct RequestHeader {
  std::uint32_t messageID = 0;
  std::uint32_t length = 0;
};

std::array<char, kRequestHeaderBytes> encodeRequestHeader(RequestHeader header);
RequestHeader decodeRequestHeader(const char* bytes);  // reads kRequestHeaderBytes
std::array<char, kReplyHeaderBytes> encodeReplyHeader(std::uint32_t length);
std::uint32_t decodeReplyHeader(const char* bytes);  // reads kReplyHeaderBytes

using Deadline = std::chrono::steady_clock::time_point;
// NaN and negative seconds are already due; huge ones are clamped far beyond any real wait.
Deadline deadlineAfter(double seconds);
// What poll() takes for the time left, rounded up so a wait never ends just short of it.
int millisecondsUntil(Deadline deadline);

enum class IOResult { done, timedOut, closed, failed };

// Blocking-style transfers on a socket of any mode: each waits with poll() until the deadline.
// Writing never raises SIGPIPE; `closed` is the peer's end of stream before the bytes were whole.
IOResult sendAll(int fd, std::string_view bytes, Deadline deadline);
IOResult receiveExactly(int fd, char* out, std::size_t size, Deadline deadline);

}  // namespace nolt::platform
