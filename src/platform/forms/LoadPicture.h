#pragma once

#include "platform/forms/DoEvents.h"
#include "platform/pictures/Picture.h"

namespace platform {

// LoadPicture of the run time: the picture is decoded off the window's
// thread, and the window repaints and takes input meanwhile, as in
// DoEventsUntil. An empty path gives the empty picture.
inline Picture LoadPicture(const QString& path = QString()) {
  if (path.isEmpty()) return Picture();
  return waitInBackground([path](const BackgroundWork& work) { return Picture::load(path, &work); });
}

}  // namespace platform
