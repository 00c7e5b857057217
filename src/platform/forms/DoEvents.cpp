#include "platform/forms/DoEvents.h"

#include <QCoreApplication>
#include <QEvent>

namespace platform {

void DoEvents() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

}  // namespace platform
