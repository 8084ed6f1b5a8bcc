// tests/support/deadline.h - a moment some seconds ahead on the monotonic clock, for the bounded
// waits of the tests: how much of it is left, and asking again until something holds.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

namespace nolt::test_support {

using Clock = std::chrono::steady_clock;

inline Clock::time_point after(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Seconds until `deadline`; 0 once it has passed.
inline double secondsLeft(Clock::time_point deadline) {
  return std::max(0.0, std::chrono::duration<double>(deadline - Clock::now()).count());
}

// Whole milliseconds until `deadline`, as poll() takes them; 0 once it has passed.
inline int millisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

// Asks `done` every `interval` seconds until it holds (true) or `seconds` have passed (false).
template <class Predicate>
bool waitUntil(double seconds, Predicate done, double interval = 0.01) {
  auto deadline = after(seconds);
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::duration<double>(interval));
  }
  return true;
}

}  // namespace nolt::test_support
