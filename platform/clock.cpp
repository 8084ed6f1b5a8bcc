#include "platform/clock.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace nolt::platform {

namespace {

class SystemClock final : public Clock {
 public:
  double now() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void sleep(double seconds) override {
    // NaN and negative waits are no wait rather than undefined conversions.
    if (!(seconds > 0)) return;
    std::this_thread::sleep_for(std::chrono::duration<double>(std::fmin(seconds, 1e9)));
  }
};

}  // namespace

std::unique_ptr<Clock> makeSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace nolt::platform
