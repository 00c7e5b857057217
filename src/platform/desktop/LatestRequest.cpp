#include "platform/desktop/LatestRequest.h"

#include "platform/desktop/Screen.h"

namespace platform {

LatestRequest::~LatestRequest() {
  supersede();
  releasePointer();
}

bool LatestRequest::supersede() {
  ++step_;
  if (!running_) return false;
  running_->cancel();
  running_.reset();
  releasePointer();
  return true;
}

void LatestRequest::holdPointer() {
  if (pointer_ != Pointer::Busy || pointerHeld_) return;
  pointerHeld_ = true;
  Screen::holdBusyPointer();
}

void LatestRequest::releasePointer() {
  if (!pointerHeld_) return;
  pointerHeld_ = false;
  Screen::releaseBusyPointer();
}

}  // namespace platform
