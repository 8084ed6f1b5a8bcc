// NoltShare/task.h - main-thread work that waits for completions from other threads without
// blocking: a coroutine that starts at once, and an awaitable callback whose result comes back
// through the main thread's event queue.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace nolt::share {

// Runs until its first wait when called. Whoever holds the Task owns the coroutine: dropping it
// before the end abandons the rest; detach() lets it run to its end on its own.
class Task {
 public:
  struct promise_type {
    std::coroutine_handle<> continuation;
    bool detached = false;
    bool finished = false;

    Task get_return_object() {
      return Task(std::coroutine_handle<promise_type>::from_promise(*this));
    }
    std::suspend_never initial_suspend() noexcept { return {}; }
    struct FinalAwaiter {
      bool await_ready() noexcept { return false; }
      std::coroutine_handle<> await_suspend(std::coroutine_handle<promise_type> handle) noexcept {
        promise_type& promise = handle.promise();
        promise.finished = true;
        std::coroutine_handle<> next =
            promise.continuation ? promise.continuation : std::noop_coroutine();
        if (promise.detached) handle.destroy();
        return next;
      }
      void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void return_void() {}
    void unhandled_exception() { std::terminate(); }
  };

  Task() = default;
  Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
  Task& operator=(Task&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, {});
    }
    return *this;
  }
  ~Task() { reset(); }

  bool done() const { return !handle_ || handle_.promise().finished; }
  void detach() {
    if (!handle_) return;
    if (handle_.promise().finished)
      handle_.destroy();
    else
      handle_.promise().detached = true;
    handle_ = {};
  }

  bool await_ready() const noexcept { return done(); }
  void await_suspend(std::coroutine_handle<> waiter) { handle_.promise().continuation = waiter; }
  void await_resume() const noexcept {}

 private:
  explicit Task(std::coroutine_handle<promise_type> handle) : handle_(handle) {}
  void reset() {
    if (handle_) handle_.destroy();
    handle_ = {};
  }

  std::coroutine_handle<promise_type> handle_;
};

// co_await Completion<T>(context, start): calls start with a callback that may run on any
// thread; the first call's value is the result, later calls are ignored, and the waiting
// coroutine resumes on `context`'s thread. It never resumes once `context` is gone.
template <typename T>
class Completion {
 public:
  using Resume = std::function<void(T)>;
  Completion(QObject* context, std::function<void(Resume)> start)
      : context_(context), start_(std::move(start)) {}

  bool await_ready() const noexcept { return false; }
  void await_suspend(std::coroutine_handle<> waiter) {
    // The callback may outlive this awaiter (an abandoned task), so it only holds the state.
    start_([state = state_, waiter, context = context_](T value) {
      if (state->called.exchange(true)) return;
      state->value = std::move(value);
      QMetaObject::invokeMethod(
          context, [waiter] { waiter.resume(); }, Qt::QueuedConnection);
    });
  }
  T await_resume() { return std::move(*state_->value); }

 private:
  struct State {
    std::atomic<bool> called{false};
    std::optional<T> value;
  };
  QObject* context_;
  std::function<void(Resume)> start_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Lets the events already queued on `context`'s thread run first.
inline Completion<bool> nextTurn(QObject* context) {
  return Completion<bool>(context, [](Completion<bool>::Resume resume) { resume(true); });
}

}  // namespace nolt::share
