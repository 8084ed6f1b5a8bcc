// platform/testing/fake_clock.h - virtual time: sleeping only moves the clock forward.
#pragma once

#include <functional>
#include <vector>

#include "platform/clock.h"

namespace nolt::platform::testing {

class FakeClock : public Clock {
 public:
  double now() override { return now_; }
  void sleep(double seconds) override {
    sleeps.push_back(seconds);
    now_ += seconds;
    if (onSleep) onSleep(now_);
  }

  std::vector<double> sleeps;
  std::function<void(double now)> onSleep;  // lets a test change the world as time passes

 private:
  double now_ = 0;
};

}  // namespace nolt::platform::testing
