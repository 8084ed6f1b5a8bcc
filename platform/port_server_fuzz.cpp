// Arbitrary bytes sent to the port server over a real socket: whatever arrives, the server
// answers with one whole reply frame or closes, and stays up for the next client.
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/port_frame.h"
#include "platform/port_server.h"
#include "platform/testing/scratch_folder.h"

namespace {

using namespace nolt::platform;

struct Served {
  std::string path;
  PortServer* server;
};

Served& served() {
  static Served s = [] {
    static testing::ScratchFolder folder("nolt-port-fuzz");
    std::string path = folder.path() + "/port";
    PortServerOptions options;
    options.headerTimeout = options.requestTimeout = options.replyTimeout = 2;
    options.maxRequestBytes = 1 << 20;
    auto* server = new PortServer(
        path, [](std::string_view request) { return std::string(request); }, options);
    server->start();
    return Served{path, server};
  }();
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Served& s = served();
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, s.path.c_str(), s.path.size() + 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) abort();
  Deadline deadline = deadlineAfter(10);
  IOResult sent = sendAll(fd, {reinterpret_cast<const char*>(data), size}, deadline);
  shutdown(fd, SHUT_WR);
  std::string reply;
  char chunk[4096];
  for (;;) {
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    reply.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  // An answer is only ever the echo of a whole frame, in one whole reply frame.
  if (!reply.empty()) {
    if (sent != IOResult::done || size < kRequestHeaderBytes) abort();
    RequestHeader header = decodeRequestHeader(reinterpret_cast<const char*>(data));
    if (reply.size() != kReplyHeaderBytes + header.length) abort();
    if (decodeReplyHeader(reply.data()) != header.length) abort();
    if (std::memcmp(reply.data() + kReplyHeaderBytes, data + kRequestHeaderBytes, header.length))
      abort();
  }
  return 0;
}
