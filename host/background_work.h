// host/background_work.h - work done on a thread of its own whenever it is asked for. Asking
// returns at once; asks that come while the work runs make one more run, never a queue of
// them. Publishing the shared files and emptying the trash run this way, so a change is
// answered as soon as it has committed: a host that died while rewriting the widget's files
// must not have told the client that a stored item failed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace nolt::host {

class BackgroundWork {
 public:
  // What stopping does with a run asked for and not begun: publishing still publishes what
  // changed; the trash can wait for the next start.
  enum class AtStop { runAsked, dropAsked };

  // `work` is told, through its argument, once the owner is stopping, to end early if it can.
  // `askedAtStart`: the first run begins at once.
  BackgroundWork(std::function<void(const std::atomic<bool>& stopping)> work, AtStop atStop,
                 bool askedAtStart = false);
  ~BackgroundWork();  // waits for the run under way, and for an asked one with runAsked
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;

  void ask();

 private:
  void run();

  std::function<void(const std::atomic<bool>&)> work_;
  AtStop atStop_;
  std::mutex mutex_;
  std::condition_variable wanted_;
  bool asked_;
  std::atomic<bool> stopping_ = false;
  std::thread thread_;  // last: it starts once everything above is ready
};

}  // namespace nolt::host
