#include "platform/MODULE_Win32Api.h"

#include "platform/ErrorHandling.h"
#include "platform/FileAccess.h"

namespace MODULE_Win32Api {

std::int16_t FileExists(const QString& path) {
  bool opened = false;
  platform::SkipFailingSteps step;
  step([&] {
    platform::ReadableFile file(path);
    opened = true;
  });
  return opened ? -1 : 0;
}

}  // namespace MODULE_Win32Api
