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
#include "platform/identifiers.h"
#include "platform/port_frame.h"

namespace {

using nolt::link::AppConnection;
using nolt::wire::JSONObject;

// Serves the command port in `runtime` until stopped, answering every request with `reply`.
class InstantHost {
 public:
  InstantHost(const std::string& runtime, std::string reply) : reply_(std::move(reply)) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = runtime + "/" + std::string(nolt::platform::kCommandPortName);
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
      // The host's own frames and transfers, so the bench measures the link, not a copy of it.
      auto deadline = nolt::platform::deadlineAfter(10);
      char header[nolt::platform::kRequestHeaderBytes];
      if (nolt::platform::receiveExactly(client, header, sizeof header, deadline) ==
          nolt::platform::IOResult::done) {
        std::string request(nolt::platform::decodeRequestHeader(header).length, '\0');
        if (nolt::platform::receiveExactly(client, request.data(), request.size(), deadline) ==
            nolt::platform::IOResult::done) {
          auto length =
              nolt::platform::encodeReplyHeader(static_cast<std::uint32_t>(reply_.size()));
          std::string frame(length.data(), length.size());
          frame += reply_;
          nolt::platform::sendAll(client, frame, deadline);
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
  ::unlink((std::string(folder) + "/" + std::string(nolt::platform::kCommandPortName)).c_str());
  ::rmdir(folder);
}

BENCHMARK(sendRoundTrip)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
