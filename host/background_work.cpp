#include "host/background_work.h"

#include <utility>

namespace nolt::host {

BackgroundWork::BackgroundWork(std::function<void(const std::atomic<bool>&)> work, AtStop atStop,
                               bool askedAtStart)
    : work_(std::move(work)), atStop_(atStop), asked_(askedAtStart), thread_([this] { run(); }) {}

BackgroundWork::~BackgroundWork() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wanted_.notify_one();
  thread_.join();
}

void BackgroundWork::ask() {
  {
    std::lock_guard lock(mutex_);
    asked_ = true;
  }
  wanted_.notify_one();
}

void BackgroundWork::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wanted_.wait(lock, [&] { return asked_ || stopping_; });
    if (stopping_ && (!asked_ || atStop_ == AtStop::dropAsked)) return;
    asked_ = false;
    lock.unlock();
    work_(stopping_);
    lock.lock();
  }
}

}  // namespace nolt::host
