#include "host/background_work.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace nolt::host {
namespace {

// A run held open until the test lets it go, so asks can arrive while it runs.
struct HeldRuns {
  std::promise<void> started;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  int runs = 0;  // touched by the work's thread only until the work is destroyed

  auto work() {
    return [this](const std::atomic<bool>&) {
      if (++runs == 1) {
        started.set_value();
        released.wait();
      }
    };
  }
};

TEST(BackgroundWorkTest, AsksDuringARunMakeOneMoreRun) {
  HeldRuns held;
  {
    BackgroundWork work(held.work(), BackgroundWork::AtStop::runAsked);
    work.ask();
    held.started.get_future().wait();
    for (int i = 0; i < 5; ++i) work.ask();
    held.release.set_value();
  }  // the asked run still runs: publishing does not drop a change
  EXPECT_EQ(held.runs, 2);
}

TEST(BackgroundWorkTest, StoppingEndsTheRunUnderWayAndDropsTheAskedOne) {
  std::promise<void> started;
  int runs = 0;
  {
    BackgroundWork work(
        [&](const std::atomic<bool>& stopping) {
          if (++runs == 1) started.set_value();
          while (!stopping) std::this_thread::yield();  // a long sweep, ended by the stop
        },
        BackgroundWork::AtStop::dropAsked, true);
    started.get_future().wait();
    work.ask();
  }
  EXPECT_EQ(runs, 1);
}

TEST(BackgroundWorkTest, NothingAskedNothingRun) {
  int runs = 0;
  {
    BackgroundWork work([&](const std::atomic<bool>&) { ++runs; },
                        BackgroundWork::AtStop::runAsked);
  }
  EXPECT_EQ(runs, 0);
}

}  // namespace
}  // namespace nolt::host
