// platform/port_server.h - the serving end of the command port: a Unix stream socket (mode
// 0600) with one framed exchange per connection.
//
// One thread does all the socket work for every connection: it accepts, reads request frames
// as their bytes arrive and writes replies, so a client that connects and says nothing costs a
// descriptor, never a thread. Whole requests are answered by a small fixed pool of workers.
// Only the user who runs the server is served. Whatever goes wrong on one connection (a time-out,
// a lie about its length, an exception, an allocation that fails) closes that connection and
// nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace nolt::platform {

// The socket could not be set up; what() says where and why.
class ServerError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct PortServerOptions {
  // The 8-byte header must arrive this soon after connecting: our clients send it at once.
  double headerTimeout = 5;
  // The whole request frame must arrive within this many seconds of connecting.
  double requestTimeout = 30;
  // Writing the reply may take this long before the client counts as gone.
  double replyTimeout = 60;
  // A 200 MiB file grows by a third in Base64, plus the rest of the request.
  std::uint32_t maxRequestBytes = 280u << 20;
  // Request bytes held at once over all connections; a connection that would pass it is
  // closed. Room for one request of the largest size and a little more.
  std::size_t maxHeldBytes = 320u << 20;
  // Reply bytes held at once over all connections, waiting for their clients to read them.
  // A reply that would pass it closes the connections that have waited longest for their
  // client to read, so clients that never read cost no more than this, and nobody waits on
  // them. One reply of any size is always sent.
  std::size_t maxReplyBytes = 128u << 20;
  // Requests answered at once. Answers share the library and two cores, so more would only
  // queue inside; a slow one (a thumbnail of a large picture) still leaves others going.
  std::size_t workers = 4;
  // Connections open at once. Past it, the connection that has waited longest without sending
  // a whole header is closed to make room; when every one is busy, new ones wait in the listen
  // queue. Kept well under the descriptor limit.
  std::size_t maxConnections = 256;
};

// The request side of one exchange, fed the payload as it arrives.
class PortExchange {
 public:
  virtual ~PortExchange() = default;
  // The next part of the payload, in order, on the socket thread; false abandons the exchange
  // (the connection is closed without a reply). Keep it quick: every connection waits on it.
  virtual bool take(std::string_view part) = 0;
  // Payload bytes held so far, counted against maxHeldBytes.
  virtual std::size_t heldBytes() const = 0;
  enum class Ending { reply, close };
  struct Answer {
    Ending ending = Ending::reply;
    std::string payload;  // the reply payload, with Ending::reply
  };
  // The whole payload has arrived; runs on a worker.
  virtual Answer finish() = 0;
};

class PortServer {
 public:
  // Makes the exchange for a request frame's header; none closes the connection.
  using ExchangeFactory =
      std::function<std::unique_ptr<PortExchange>(std::uint32_t messageID, std::uint32_t length)>;
  // The reply payload for a whole request payload.
  using Responder = std::function<std::string(std::string_view request)>;

  // Binds and listens at `socketPath`, replacing a socket left there by a server that died.
  // Throws ServerError.
  PortServer(std::string socketPath, ExchangeFactory exchanges, PortServerOptions options = {});
  PortServer(std::string socketPath, Responder responder, PortServerOptions options = {});
  ~PortServer();  // stop()
  PortServer(const PortServer&) = delete;
  PortServer& operator=(const PortServer&) = delete;

  // Serves on threads of its own from now on. Throws ServerError when not even one worker can
  // be started.
  void start();
  // Stops accepting, closes every connection, waits for answers under way and removes the
  // socket. Safe to call twice.
  void stop();

  std::size_t openConnections() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// An exchange that gathers the whole payload of `length` bytes and hands it to `answer`.
std::unique_ptr<PortExchange> makeBufferedExchange(
    std::uint32_t length, std::function<PortExchange::Answer(std::string_view request)> answer);

}  // namespace nolt::platform
