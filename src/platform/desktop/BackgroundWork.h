#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace platform {

// Work done on a thread of its own, so that the window's thread never waits:
// not on a decoder, not on a disk, not on a volume that hangs. Its outcome
// comes back to the window's thread as an event (see LatestRequest), never
// by waiting for it there.
class BackgroundWork {
 public:
  virtual ~BackgroundWork() = default;

  // Nobody will take the result: the work stops at its next check, or does
  // not start at all, and its continuation, if any, is no longer awaited.
  void cancel();
  // Whether the work should stop: it was cancelled, or the program is ending.
  virtual bool cancelled() const;
  bool finished() const { return finished_; }

 protected:
  // Runs body on a background thread, then marks the work finished and, when
  // there is one, posts the continuation to the window's thread.
  static void start(std::shared_ptr<BackgroundWork> work, std::function<void()> body,
                    std::function<void()> continuation);

 private:
  // Whether the continuation still counts among those due.
  void noLongerAwaited();

  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> awaited_{false};
};

// Work with a result of type Result (or none, for void).
template <class Result>
class Background final : public BackgroundWork {
 public:
  // Runs body(work) on a background thread; then, when given, continuation
  // (this work, finished) on the window's thread.
  template <class Body>
  static std::shared_ptr<Background> start(Body body, std::function<void(Background&)> continuation = {}) {
    auto work = std::make_shared<Background>();
    std::function<void()> continueWith;
    if (continuation)
      continueWith = [work, continuation = std::move(continuation)] { continuation(*work); };
    BackgroundWork::start(
        work,
        [raw = work.get(), body = std::move(body)]() mutable {
          try {
            if (raw->cancelled()) throw Cancelled();
            if constexpr (std::is_void_v<Result>)
              body(static_cast<const BackgroundWork&>(*raw));
            else
              raw->result_.emplace(body(static_cast<const BackgroundWork&>(*raw)));
          } catch (...) {
            raw->error_ = std::current_exception();
          }
        },
        std::move(continueWith));
    return work;
  }

  // Once finished: the result, or the error the work raised.
  Result take() {
    if (error_) std::rethrow_exception(error_);
    if constexpr (!std::is_void_v<Result>) return std::move(*result_);
  }

  // What a cancelled work that never started raises.
  struct Cancelled : std::exception {
    const char* what() const noexcept override { return "cancelled"; }
  };

 private:
  using Stored = std::conditional_t<std::is_void_v<Result>, bool, Result>;
  std::optional<Stored> result_;
  std::exception_ptr error_;
};

template <class Body>
using BackgroundResult = std::invoke_result_t<Body&, const BackgroundWork&>;

// Starts body(work) on a background thread. The body should look at
// work.cancelled() now and then and stop when it says so.
template <class Body>
auto startInBackground(Body body) {
  return Background<BackgroundResult<Body>>::start(std::move(body));
}

// Continuations due: of works started with one, not cancelled, whose
// continuation has not run yet.
int pendingContinuations();

// Ends the background work as the program ends: every work is cancelled, and
// those that stop within the time are waited for. False when some did not
// (stuck on a volume that does not answer): the process must then leave
// without running what would still use them.
bool endBackgroundWork(std::chrono::milliseconds within);

}  // namespace platform
