// platform/command_port.h - the host's port: a Unix socket, one framed exchange per connection.
#pragma once

#include <cstdint>
#include <functional>
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

  // Takes the next piece of a streamed payload; false once the exchange has failed.
  using PayloadWriter = std::function<bool(std::string_view piece)>;
  // The same exchange for a payload of `length` bytes that `produce` writes piece by piece, so
  // that a request carrying a whole file is never held whole. A payload of any other length
  // fails the exchange (transportError) without completing the frame, so the host takes
  // nothing; so does an exception from `produce`, which goes on to the caller. This form
  // gathers the payload and calls sendRequest, which is what substitutes need.
  virtual Status sendStreamedRequest(std::uint32_t messageID, std::uint32_t length,
                                     const std::function<void(const PayloadWriter&)>& produce,
                                     double sendTimeout, double receiveTimeout, std::string& reply);
};

class CommandPort {
 public:
  virtual ~CommandPort() = default;
  // None when no socket is there, it refuses, or another user serves it.
  virtual std::unique_ptr<PortConnection> open(std::string_view name) = 0;
};

// Replies declaring more than this are a failed exchange and are never allocated.
inline constexpr std::uint32_t kMaxReplyBytes = 1u << 30;

// Where the port `name` is served: <runtime directory>/<name>; none without a runtime
// directory or a name. The one place both ends find the socket.
std::optional<std::string> portSocketPath(Environment& env, std::string_view name);

// Sockets in the runtime directory. `receiveTimeoutCap` exists for tests that must not wait
// a whole minute for a host that never answers; programs leave it unset.
std::unique_ptr<CommandPort> makeUnixCommandPort(Environment& env,
                                                 std::optional<double> receiveTimeoutCap = {});

}  // namespace nolt::platform
