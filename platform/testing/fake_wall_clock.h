// platform/testing/fake_wall_clock.h - a time of day that moves only when the test says.
#pragma once

#include <chrono>
#include <mutex>

#include "platform/wall_clock.h"

namespace nolt::platform::testing {

class FakeWallClock : public WallClock {
 public:
  using time_point = std::chrono::system_clock::time_point;
  using duration = std::chrono::system_clock::duration;

  // With a step, every reading is that much after the one before, so records made one after
  // another get distinct, ordered instants.
  explicit FakeWallClock(time_point start = {}, duration step = {}) : now_(start), step_(step) {}

  time_point now() override {
    std::lock_guard lock(mutex_);
    return now_ += step_;
  }
  void set(time_point now) {
    std::lock_guard lock(mutex_);
    now_ = now;
  }
  void advance(duration by) {
    std::lock_guard lock(mutex_);
    now_ += by;
  }

 private:
  std::mutex mutex_;  // the code under test may read the clock on threads of its own
  time_point now_;
  duration step_;
};

}  // namespace nolt::platform::testing
