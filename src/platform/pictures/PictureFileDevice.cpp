#include "platform/pictures/PictureFileDevice.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"

namespace platform {

PictureFileDevice::PictureFileDevice(const ReadableFile& file, const BackgroundWork* work)
    : file_(file), work_(work) {
  // Unbuffered: each read is the decoder's own, so a read at the end is one it asked for.
  open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 PictureFileDevice::size() const { return file_.size(); }

void PictureFileDevice::restart() {
  seek(0);
  readPastTheEnd_ = false;
}

qint64 PictureFileDevice::readData(char* data, qint64 maxSize) {
  if (work_ && work_->cancelled()) return -1;
  if (maxSize > 0 && pos() >= file_.size()) {
    readPastTheEnd_ = true;
    return 0;
  }
  qint64 got = -1;
  // An error reading the file is the decoder's failure, never an exception
  // through its code.
  if (runCatchingErrors([&] { got = file_.readAt(pos(), data, maxSize); })) return -1;
  return got;
}

qint64 PictureFileDevice::writeData(const char* /*data*/, qint64 /*maxSize*/) { return -1; }

}  // namespace platform
