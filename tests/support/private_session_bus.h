// tests/support/private_session_bus.h - a dbus-daemon of the test's own, and a listener on it
// that counts the host's incoming signal. The real session bus is never touched.
#pragma once

#include <optional>
#include <string>

#include "tests/support/subprocess.h"

struct sd_bus;

namespace nolt::test_support {

class PrivateSessionBus {
 public:
  // Listens where `listenAddress` says, else in a fresh socket under /tmp. address() is empty
  // when dbus-daemon could not be started.
  explicit PrivateSessionBus(const std::string& listenAddress = "");
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  const std::string& address() const { return address_; }

 private:
  std::optional<Subprocess> daemon_;
  std::string address_;
};

// Subscribes to app.nolt.Nolt.incoming on the bus at `address` before returning.
class IncomingSignalCounter {
 public:
  explicit IncomingSignalCounter(const std::string& address);
  ~IncomingSignalCounter();
  IncomingSignalCounter(const IncomingSignalCounter&) = delete;
  IncomingSignalCounter& operator=(const IncomingSignalCounter&) = delete;

  bool listening() const { return bus_ != nullptr; }
  // Signals seen so far: waits until `expected` have come, and then `grace` seconds longer for
  // any that should not.
  int count(int expected, double grace = 0.3);

 private:
  void pump(double seconds, int stopAt);

  sd_bus* bus_ = nullptr;
  int seen_ = 0;
};

}  // namespace nolt::test_support
