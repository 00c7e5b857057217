#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace platform {

// Work done on a thread of its own, so that the window's thread stays free to
// repaint and take input. When the work ends, the window's thread is woken,
// so that a handler waiting for it (DoEventsUntil) goes on at once.
class BackgroundWork {
 public:
  virtual ~BackgroundWork() = default;

  // Nobody will take the result: the work stops at its next check, or does
  // not start at all.
  void cancel() { cancelled_ = true; }
  // Whether the work should stop: it was cancelled, or the program is ending.
  bool cancelled() const;
  bool finished() const { return finished_; }

 protected:
  // Runs body on a background thread, then marks the work finished.
  static void start(std::shared_ptr<BackgroundWork> work, std::function<void()> body);
  void markFinished();

 private:
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
};

// Work with a result of type Result (or none, for void).
template <class Result>
class Background final : public BackgroundWork {
 public:
  template <class Body>
  static std::shared_ptr<Background> start(Body body) {
    auto work = std::make_shared<Background>();
    BackgroundWork::start(work, [raw = work.get(), body = std::move(body)]() mutable {
      try {
        if (raw->cancelled()) throw Cancelled();
        if constexpr (std::is_void_v<Result>)
          body(static_cast<const BackgroundWork&>(*raw));
        else
          raw->result_.emplace(body(static_cast<const BackgroundWork&>(*raw)));
      } catch (...) {
        raw->error_ = std::current_exception();
      }
    });
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

// Starts body(work) on a background thread. The body should look at
// work.cancelled() now and then and stop when it says so.
template <class Body>
auto startInBackground(Body body) {
  using Result = std::invoke_result_t<Body&, const BackgroundWork&>;
  return Background<Result>::start(std::move(body));
}

}  // namespace platform
