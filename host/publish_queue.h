// host/publish_queue.h - publishing on a thread of its own, so a change is answered as soon as
// it has committed: a host that died while rewriting the widget's files must not have told the
// client that a stored item failed. Requests that come while a publish runs make one more.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace nolt::host {

class PublishQueue {
 public:
  explicit PublishQueue(std::function<void()> publish);
  ~PublishQueue();  // publishes what was asked for, then stops
  PublishQueue(const PublishQueue&) = delete;
  PublishQueue& operator=(const PublishQueue&) = delete;

  void request();  // returns at once

 private:
  void run();

  std::function<void()> publish_;
  std::mutex mutex_;
  std::condition_variable wanted_;
  bool pending_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace nolt::host
