#include "platform/forms/DoEvents.h"

#include <QCoreApplication>

#include <vector>

namespace platform {

namespace {

int waiting = 0;

std::vector<std::function<void()>>& afterWaiting() {
  static std::vector<std::function<void()>> actions;
  return actions;
}

}  // namespace

void DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void DoEventsUntil(const std::function<bool()>& done) {
  ++waiting;
  while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  if (--waiting > 0) return;
  const std::vector<std::function<void()>> actions = std::move(afterWaiting());
  afterWaiting().clear();
  for (const auto& action : actions) action();
}

void whenNotWaiting(std::function<void()> action) {
  if (waiting == 0)
    action();
  else
    afterWaiting().push_back(std::move(action));
}

}  // namespace platform
