#pragma once

#include "platform/desktop/BackgroundWork.h"

#include <functional>

namespace platform {

// Lets pending window events run before the handler goes on. A handler of
// another control may run nested inside this call.
void DoEvents();

// Lets window events run, waiting for them, until done() says so: the window
// repaints and takes input meanwhile, and handlers may run nested inside
// this call, as with DoEvents. Work in the background wakes it when it ends.
void DoEventsUntil(const std::function<bool()>& done);

// Runs the action once no handler waits in DoEventsUntil any more, or at once
// when none does: a window closed by a handler that ran nested inside a wait
// is destroyed only then, as the waiting handler may still be using it.
void whenNotWaiting(std::function<void()> action);

// Runs body off the window's thread and waits for it, letting window events
// run meanwhile; gives its result or raises its error.
template <class Body>
auto waitInBackground(Body body) {
  const auto work = startInBackground(std::move(body));
  DoEventsUntil([&] { return work->finished(); });
  return work->take();
}

}  // namespace platform
