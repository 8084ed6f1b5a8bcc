#include "platform/wall_clock.h"

namespace nolt::platform {

namespace {

class SystemWallClock final : public WallClock {
 public:
  std::chrono::system_clock::time_point now() override { return std::chrono::system_clock::now(); }
};

}  // namespace

std::unique_ptr<WallClock> makeSystemWallClock() { return std::make_unique<SystemWallClock>(); }

double secondsSince1970(Instant instant) { return instant.time_since_epoch().count(); }

// Both ways go through seconds since 1970 in a double, as capture writers and the host always
// did, so an instant gives the same bytes as before and a date read back is the one written.
double secondsSinceReferenceDate(Instant instant) { return (instant - kReferenceDate).count(); }

Instant instantSinceReferenceDate(double seconds) {
  return kReferenceDate + Instant::duration(seconds);
}

}  // namespace nolt::platform
