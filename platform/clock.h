// platform/clock.h - time as a service, so waits can run on virtual time under test.
#pragma once

#include <memory>

namespace nolt::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double now() = 0;                // seconds on a monotonic scale
  virtual void sleep(double seconds) = 0;  // blocks the calling thread
};

// The machine's monotonic clock and real sleeping.
std::unique_ptr<Clock> makeSystemClock();

}  // namespace nolt::platform
