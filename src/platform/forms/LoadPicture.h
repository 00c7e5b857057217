#pragma once

#include "platform/desktop/FileAccess.h"
#include "platform/forms/DoEvents.h"
#include "platform/pictures/Picture.h"

#include <memory>

namespace platform {

// LoadPicture of the run time: the file is opened at once, and the picture
// decoded off the window's thread, which repaints and takes input meanwhile,
// as in DoEventsUntil. An empty path gives the empty picture.
inline Picture LoadPicture(const QString& path = QString()) {
  if (path.isEmpty()) return Picture();
  const auto file = std::make_shared<const ReadableFile>(path);
  return waitInBackground([file](const BackgroundWork& work) { return Picture::load(*file, &work); });
}

}  // namespace platform
