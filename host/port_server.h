// host/port_server.h - the command port: a Unix stream socket (mode 0600) serving one framed
// exchange per connection, each connection on a thread of its own.
//   request frame: message id (4 bytes, big-endian), payload length (4 bytes), payload;
//   reply frame:   payload length (4 bytes, big-endian), payload.
// Only the user who runs the host is served. A client that stays silent past the request
// time-out, or declares a request larger than the limit, is dropped; nobody else notices.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

namespace nolt::host {

// The socket could not be set up; what() says where and why.
class ServerError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct PortServerOptions {
  // The whole request frame must arrive within this many seconds of connecting.
  double requestTimeout = 30;
  // A 200 MB file grows by a third in Base64, plus the rest of the request.
  std::uint32_t maxRequestBytes = 280u << 20;
  // Writing the reply may take this long before the client counts as gone.
  double replyTimeout = 60;
};

class PortServer {
 public:
  using Responder = std::function<std::string(std::string_view request)>;

  // Binds and listens at `socketPath`, replacing a socket left there by a host that died.
  // Throws ServerError.
  PortServer(std::string socketPath, Responder responder, PortServerOptions options = {});
  ~PortServer();  // stop()
  PortServer(const PortServer&) = delete;
  PortServer& operator=(const PortServer&) = delete;

  void start();  // accepts on a thread of its own from now on
  // Stops accepting, ends the exchanges still open, waits for their threads and removes the
  // socket. Safe to call twice.
  void stop();

  std::size_t openConnections();

 private:
  void acceptLoop();
  void serve(int fd);

  std::string path_;
  Responder responder_;
  PortServerOptions options_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};  // a pipe that ends the accept loop
  std::thread acceptor_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable allDone_;
  std::set<int> connections_;
};

}  // namespace nolt::host
