// One host exchange through AppConnection over the real socket, against a host thread in
// this process that answers at once: the cost the link adds to every command.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "cli/link/app_connection.h"
#include "platform/clock.h"
#include "platform/command_port.h"
#include "platform/environment.h"
#include "platform/identifiers.h"
#include "platform/port_frame.h"
#include "platform/testing/scratch_folder.h"

namespace {

using nolt::link::AppConnection;
using nolt::wire::JSONObject;

// Serves the command port at `path` until it goes, answering every request with `reply`.
class InstantHost {
 public:
  InstantHost(const std::string& path, std::string reply) : reply_(std::move(reply)) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    serving_ = listener_ >= 0 &&
               ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               ::listen(listener_, 16) == 0;
    if (serving_) thread_ = std::thread([this] { serve(); });
  }
  ~InstantHost() {
    if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
  }
  InstantHost(const InstantHost&) = delete;
  InstantHost& operator=(const InstantHost&) = delete;

  bool serving() const { return serving_; }

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

  int listener_ = -1;
  bool serving_ = false;
  std::string reply_;
  std::thread thread_;
};

void sendRoundTrip(benchmark::State& state) {
  // A runtime folder of the bench's own, removed when it ends; the host serves the port where
  // the link looks for it.
  nolt::platform::testing::ScratchFolder runtime("nolt-send-bench");
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  auto env = nolt::platform::makeProcessEnvironment();
  std::optional<std::string> socket =
      nolt::platform::portSocketPath(*env, nolt::platform::kCommandPortName);
  InstantHost host(socket.value_or(""), R"({"result":{"items":[],"total":0}})");
  if (runtime.path().empty() || !host.serving()) {
    state.SkipWithError("cannot serve the command port");
    return;
  }
  auto port = nolt::platform::makeUnixCommandPort(*env);
  auto instances = nolt::platform::makeLockedInstanceProbe(*env);
  auto workspace = nolt::platform::makeDesktopWorkspace(*env);
  auto clock = nolt::platform::makeSystemClock();
  AppConnection connection({*port, *instances, *workspace, *clock});
  JSONObject arguments{{"query", "red chair"}, {"limit", 5}};
  for (auto _ : state) benchmark::DoNotOptimize(connection.send("search", arguments));
}

BENCHMARK(sendRoundTrip)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
