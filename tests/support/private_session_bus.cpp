#include "tests/support/private_session_bus.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace nolt::test_support {

PrivateSessionBus::PrivateSessionBus(const std::string& listenAddress) {
  Subprocess::Options options;
  options.argv = {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"};
  if (!listenAddress.empty()) options.argv.push_back("--address=" + listenAddress);
  options.environment = currentEnvironment();
  options.output = Stream::pipe();
  // It complains on stderr when it may not raise its file limit, which is harmless here.
  options.error = Stream::null();
  daemon_.emplace(std::move(options));
  // The daemon prints its address once it listens.
  int out = daemon_->pipe(STDOUT_FILENO);
  if (!daemon_->started() || out < 0) return;
  std::string line;
  char c;
  while (read(out, &c, 1) == 1 && c != '\n') line += c;
  daemon_->closePipe(STDOUT_FILENO);
  address_ = line;
}

PrivateSessionBus::~PrivateSessionBus() {
  if (daemon_) daemon_->stop(5);
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
