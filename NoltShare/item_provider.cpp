#include "NoltShare/item_provider.h"

namespace nolt::share {

ItemProvider::~ItemProvider() { waitForThreads(); }

void ItemProvider::waitForThreads() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(threads_);
  }
  for (std::thread& thread : threads) thread.join();
}

void ItemProvider::onOwnThread(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  threads_.emplace_back(std::move(work));
}

}  // namespace nolt::share
