// One host exchange through AppConnection over the real socket, against a host thread in
// this process that answers at once: the cost the link adds to every command.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "cli/link/app_connection.h"
#include "platform/clock.h"
#include "platform/environment.h"

namespace {

using nolt::link::AppConnection;
using nolt::link::JSONObject;

bool readAll(int fd, char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::read(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::uint32_t bigEndian(const unsigned char* b) {
  return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) |
         b[3];
}

// Serves the command port in `runtime` until stopped, answering every request with `reply`.
class InstantHost {
 public:
  InstantHost(const std::string& runtime, std::string reply) : reply_(std::move(reply)) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = runtime + "/group.app.nolt.cli";
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 16);
    thread_ = std::thread([this] { serve(); });
  }
  ~InstantHost() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }

 private:
  void serve() {
    for (;;) {
      int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      unsigned char header[8];
      if (readAll(client, reinterpret_cast<char*>(header), 8)) {
        std::string request(bigEndian(header + 4), '\0');
        if (readAll(client, request.data(), request.size())) {
          std::uint32_t n = static_cast<std::uint32_t>(reply_.size());
          unsigned char length[4] = {
              static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
              static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)};
          std::string frame(reinterpret_cast<char*>(length), 4);
          frame += reply_;
          (void)::write(client, frame.data(), frame.size());
        }
      }
      ::close(client);
    }
  }

  int listener_;
  std::string reply_;
  std::thread thread_;
};

void sendRoundTrip(benchmark::State& state) {
  char folder[] = "/tmp/nolt-send-bench-XXXXXX";
  ::mkdtemp(folder);
  ::setenv("XDG_RUNTIME_DIR", folder, 1);
  InstantHost host(folder, R"({"result":{"items":[],"total":0}})");
  auto env = nolt::platform::makeProcessEnvironment();
  auto port = nolt::platform::makeUnixCommandPort(*env);
  auto instances = nolt::platform::makeLockedInstanceProbe(*env);
  auto workspace = nolt::platform::makeDesktopWorkspace(*env);
  auto clock = nolt::platform::makeSystemClock();
  AppConnection connection({*port, *instances, *workspace, *clock});
  JSONObject arguments{{"query", "red chair"}, {"limit", 5}};
  for (auto _ : state) benchmark::DoNotOptimize(connection.send("search", arguments));
  ::unlink((std::string(folder) + "/group.app.nolt.cli").c_str());
  ::rmdir(folder);
}

BENCHMARK(sendRoundTrip)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
