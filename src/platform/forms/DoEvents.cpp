#include "platform/forms/DoEvents.h"

#include <QCoreApplication>

namespace platform {

void DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace platform
