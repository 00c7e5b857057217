#include "platform/pictures/PictureFileDevice.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"

#include <algorithm>
#include <cstring>

namespace platform {

PictureFileDevice::PictureFileDevice(const ReadableFile& file, const BackgroundWork* work)
    : file_(file), work_(work) {
  constexpr std::int64_t LongestBitmapHeaders = 14 + 124;
  if (auto headers = bitmapHeadersQtReads(file.read(LongestBitmapHeaders), file.size())) start_ = std::move(*headers);
  // Unbuffered: each read is the decoder's own, so a read at the end is one it asked for.
  open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 PictureFileDevice::size() const { return file_.size() - inFile(0); }

void PictureFileDevice::restart() {
  seek(0);
  readPastTheEnd_ = false;
}

qint64 PictureFileDevice::readData(char* data, qint64 maxSize) {
  if (work_ && work_->cancelled()) return -1;
  if (maxSize > 0 && pos() >= size()) {
    readPastTheEnd_ = true;
    return 0;
  }
  qint64 fromStart = 0;
  if (pos() < start_.bytes.size()) {
    fromStart = std::min(maxSize, start_.bytes.size() - pos());
    std::memcpy(data, start_.bytes.constData() + pos(), static_cast<std::size_t>(fromStart));
    if (fromStart == maxSize) return fromStart;
  }
  qint64 got = -1;
  // An error reading the file is the decoder's failure, never an exception
  // through its code.
  if (runCatchingErrors([&] { got = file_.readAt(inFile(pos() + fromStart), data + fromStart, maxSize - fromStart); }))
    return fromStart > 0 ? fromStart : -1;
  return fromStart + got;
}

qint64 PictureFileDevice::writeData(const char* /*data*/, qint64 /*maxSize*/) { return -1; }

}  // namespace platform
