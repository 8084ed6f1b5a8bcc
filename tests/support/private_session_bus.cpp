#include "tests/support/private_session_bus.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <vector>

extern char** environ;

namespace nolt::test_support {

PrivateSessionBus::PrivateSessionBus(const std::string& listenAddress) {
  int out[2];
  if (pipe(out) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // It complains on stderr when it may not raise its file limit, which is harmless here.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string address = "--address=" + listenAddress;
  std::vector<const char*> argv = {"dbus-daemon", "--session", "--nofork", "--nopidfile",
                                   "--print-address=1"};
  if (!listenAddress.empty()) argv.push_back(address.c_str());
  argv.push_back(nullptr);
  int spawned = posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr,
                             const_cast<char**>(argv.data()), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    pid_ = -1;
    close(out[0]);
    return;
  }
  // The daemon prints its address once it listens.
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  address_ = line;
}

PrivateSessionBus::~PrivateSessionBus() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

namespace {

int onIncoming(sd_bus_message*, void* userdata, sd_bus_error*) {
  ++*static_cast<int*>(userdata);
  return 0;
}

}  // namespace

IncomingSignalCounter::IncomingSignalCounter(const std::string& address) {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) return;
  if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
      sd_bus_start(bus) < 0 ||
      sd_bus_add_match(bus, nullptr,
                       "type='signal',path='/app/nolt/Nolt',interface='app.nolt.Nolt',"
                       "member='incoming'",
                       onIncoming, &seen_) < 0) {
    sd_bus_flush_close_unref(bus);
    return;
  }
  bus_ = bus;
}

IncomingSignalCounter::~IncomingSignalCounter() {
  if (bus_) sd_bus_flush_close_unref(bus_);
}

void IncomingSignalCounter::pump(double seconds, int stopAt) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (seen_ < stopAt) {
    int r;
    while ((r = sd_bus_process(bus_, nullptr)) > 0) {
    }
    if (r < 0 || seen_ >= stopAt) return;
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    sd_bus_wait(bus_, static_cast<std::uint64_t>(left.count()));
  }
}

int IncomingSignalCounter::count(int expected, double grace) {
  if (!bus_) return -1;
  pump(10, expected);
  pump(grace, expected + 1);
  return seen_;
}

}  // namespace nolt::test_support
