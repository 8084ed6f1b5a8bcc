// platform/command_port.h - the host's port: a Unix socket, one framed exchange per connection.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nolt::platform {

class Environment;

// One connection to the host's port, good for a single request and its reply.
class PortConnection {
 public:
  virtual ~PortConnection() = default;
  enum class Status { success, sendTimeout, receiveTimeout, transportError };
  // Writes the request frame within sendTimeout, then waits up to receiveTimeout for the
  // whole reply frame. On success `reply` holds the reply payload (empty for no reply bytes).
  virtual Status sendRequest(std::uint32_t messageID, std::string_view request, double sendTimeout,
                             double receiveTimeout, std::string& reply) = 0;
};

class CommandPort {
 public:
  virtual ~CommandPort() = default;
  // None when no socket is there, it refuses, or another user serves it.
  virtual std::unique_ptr<PortConnection> open(std::string_view name) = 0;
};

// Replies declaring more than this are a failed exchange and are never allocated.
inline constexpr std::uint32_t kMaxReplyBytes = 1u << 30;

// Sockets in the runtime directory. `receiveTimeoutCap` exists for tests that must not wait
// a whole minute for a host that never answers; programs leave it unset.
std::unique_ptr<CommandPort> makeUnixCommandPort(Environment& env,
                                                 std::optional<double> receiveTimeoutCap = {});

}  // namespace nolt::platform
