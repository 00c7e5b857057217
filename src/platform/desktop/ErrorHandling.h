#pragma once

#include "platform/desktop/RuntimeError.h"

#include <QtGlobal>

#include <new>
#include <optional>
#include <utility>

namespace platform {

// Turns whatever a step threw into the run time's error, so that every
// handler sees one kind of failure.
template <class Body>
std::optional<RuntimeError> runCatchingErrors(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
    return std::nullopt;
  } catch (const RuntimeError& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return RuntimeError(errors::OutOfMemory);
  } catch (const std::exception& other) {
    return RuntimeError(errors::InternalError, QString::fromLocal8Bit(other.what()));
  }
}

// Handlers run for something the user did: an error a handler lets through
// ends here, noted on the error output, and never travels through Qt's
// event handling.
template <class Body>
void asUserAction(Body&& body) noexcept {
  if (auto error = runCatchingErrors(std::forward<Body>(body))) qWarning("tavlo: %s", error->what());
}

// The "skip the failing step" style: each step runs in turn; a step that
// fails is skipped, its error remembered, and the next step runs as usual.
//
//   SkipFailingSteps step;
//   step([&] { COMBO_Filter->setListIndex(FilterIndex); });
//   step([&] { CHECK_Hidden->setValue(ShowHidden); });
class SkipFailingSteps {
 public:
  // Returns true when the step ran to its end.
  template <class Step>
  bool operator()(Step&& step) noexcept {
    auto error = runCatchingErrors(std::forward<Step>(step));
    if (!error) return true;
    lastError_ = std::move(error);
    return false;
  }

  const std::optional<RuntimeError>& lastError() const { return lastError_; }

 private:
  std::optional<RuntimeError> lastError_;
};

// The "one handler for the whole procedure" style: the body runs; the first
// error leaves it and goes to the handler. An error the handler raises
// itself goes to the caller.
template <class Body, class Handler>
void withErrorHandler(Body&& body, Handler&& handler) {
  if (auto error = runCatchingErrors(std::forward<Body>(body))) std::forward<Handler>(handler)(*error);
}

}  // namespace platform
