// platform/wall_clock.h - the time of day as a service, so dated records and captures can be
// made at any instant under test. Waits and time-outs use Clock, which never jumps.
#pragma once

#include <chrono>
#include <memory>

namespace nolt::platform {

class WallClock {
 public:
  virtual ~WallClock() = default;
  virtual std::chrono::system_clock::time_point now() = 0;
};

// The machine's real-time clock.
std::unique_ptr<WallClock> makeSystemWallClock();

// An instant as files and records carry it: seconds with fraction in a double. A clock reading
// converts to it implicitly, and any number read from a file fits, however far off.
using Instant = std::chrono::sys_time<std::chrono::duration<double>>;

// 2001-01-01T00:00:00Z, the reference date capture requests count from.
inline constexpr Instant kReferenceDate{std::chrono::sys_days{std::chrono::year{2001} / 1 / 1}};

// Seconds since 1970-01-01T00:00:00Z: the host's records and the widget's dates.
double secondsSince1970(Instant instant);
// Seconds since kReferenceDate, as capture requests hold an instant.
double secondsSinceReferenceDate(Instant instant);
Instant instantSinceReferenceDate(double seconds);

}  // namespace nolt::platform
