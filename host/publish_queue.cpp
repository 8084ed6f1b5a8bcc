#include "host/publish_queue.h"

namespace nolt::host {

PublishQueue::PublishQueue(std::function<void()> publish)
    : publish_(std::move(publish)), thread_([this] { run(); }) {}

PublishQueue::~PublishQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wanted_.notify_one();
  thread_.join();
}

void PublishQueue::request() {
  {
    std::lock_guard lock(mutex_);
    pending_ = true;
  }
  wanted_.notify_one();
}

void PublishQueue::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wanted_.wait(lock, [&] { return pending_ || stopping_; });
    if (!pending_) return;
    pending_ = false;
    lock.unlock();
    publish_();
    lock.lock();
  }
}

}  // namespace nolt::host
