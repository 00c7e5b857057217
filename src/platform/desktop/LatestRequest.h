#pragma once

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/ErrorHandling.h"

#include <QPointer>

#include <memory>

namespace platform {

// Background work for one purpose where the newest request wins: the preview
// of the chosen file, the listing of a folder, the viewer's picture. Each
// step runs off the window's thread; its continuation comes back to the
// window's thread as an event and carries the procedure on, possibly with
// the next step. A new step supersedes the one in progress: that one's work
// is cancelled and its continuation never runs, so a stale result never
// reaches a control. Nothing here waits.
class LatestRequest {
 public:
  // Whether the pointer shows the hourglass while a step runs.
  enum class Pointer { AsItIs, Busy };
  explicit LatestRequest(Pointer pointer = Pointer::AsItIs) : pointer_(pointer) {}
  // What is in progress is superseded.
  ~LatestRequest();
  LatestRequest(const LatestRequest&) = delete;
  LatestRequest& operator=(const LatestRequest&) = delete;

  // Runs body(work) off the window's thread, superseding the step in
  // progress; then, on the window's thread and only if nothing superseded it
  // meanwhile, then(finished), whose take() gives the body's result or
  // raises its error. An error that then lets through is noted and goes no
  // further.
  template <class Body, class Then>
  void run(Body body, Then then) {
    using Result = BackgroundResult<Body>;
    supersede();
    holdPointer();
    running_ = Background<Result>::start(
        std::move(body), [alive = std::weak_ptr<LatestRequest*>(self_), step = step_,
                          then = std::move(then)](Background<Result>& finished) mutable {
          const auto request = alive.lock();
          if (!request || (*request)->step_ != step) return;
          (*request)->finishStep([&] { then(finished); });
        });
  }

  // Supersedes the step in progress, if any, without starting another.
  // Whether one was in progress.
  bool supersede();
  // Whether a step runs, or its continuation is due.
  bool inProgress() const { return running_ != nullptr; }

 private:
  void holdPointer();
  void releasePointer();
  template <class Continue>
  void finishStep(Continue continueWith) {
    running_.reset();
    asUserAction(continueWith);
    if (!running_) releasePointer();
  }

  Pointer pointer_;
  bool pointerHeld_ = false;
  std::uint64_t step_ = 0;
  std::shared_ptr<BackgroundWork> running_;
  // Continuations look through this whether the request still exists.
  std::shared_ptr<LatestRequest*> self_ = std::make_shared<LatestRequest*>(this);
};

// Runs body(work) off the window's thread, then then(finished) on the
// window's thread while the context (the window it is for) still exists,
// for work that is never superseded: a file command, which always finishes
// and tells its outcome.
template <class Body, class Then>
void runInBackground(const QObject* context, Body body, Then then) {
  Background<BackgroundResult<Body>>::start(
      std::move(body), [context = QPointer<const QObject>(context), then = std::move(then)](auto& finished) mutable {
        if (context) asUserAction([&] { then(finished); });
      });
}

}  // namespace platform
