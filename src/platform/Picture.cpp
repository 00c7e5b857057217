#include "platform/Picture.h"

#include "platform/BitmapWriter.h"
#include "platform/FileAccess.h"
#include "platform/PictureFile.h"
#include "platform/RuntimeError.h"
#include "platform/SafeWrite.h"
#include "platform/Screen.h"

#include <QBuffer>
#include <QImageReader>
#include <QIODevice>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace platform {

namespace {

std::uint64_t nextHandle() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

void raiseAllocationLimit() {
  static std::once_flag once;
  std::call_once(once, [] { QImageReader::setAllocationLimit(Picture::AllocationLimitMegabytes); });
}

bool isIconFormat(const QByteArray& format) { return format == "ico" || format == "cur"; }

// Icon files hold several sizes of one picture: show the largest.
QImage readLargestIcon(QImageReader& reader) {
  QImage best;
  const int count = std::max(1, reader.imageCount());
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    QImage candidate;
    if (!reader.read(&candidate)) continue;
    if (best.isNull() || candidate.width() * static_cast<qint64>(candidate.height()) >
                             best.width() * static_cast<qint64>(best.height()))
      best = std::move(candidate);
  }
  return best;
}

}  // namespace

Picture::Picture(QImage image)
    : image_(std::make_shared<const QImage>(std::move(image))), handle_(nextHandle()) {}

Picture Picture::fromImage(QImage image) {
  if (image.isNull()) return Picture();
  return Picture(std::move(image));
}

Picture Picture::load(const QString& path) {
  if (path.isEmpty()) return Picture();
  raiseAllocationLimit();

  const QByteArray bytes = ReadableFile(path).readAll();
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);

  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
  const QByteArray format = reader.format();
  if (format.isEmpty()) raise(errors::InvalidPicture);
  if (!plausibleBitmapHeader(bytes)) raise(errors::InvalidPicture);

  QImage image;
  if (isIconFormat(format))
    image = readLargestIcon(reader);
  else
    reader.read(&image);
  if (image.isNull()) raise(errors::InvalidPicture);
  if (format == "jpeg" && !jpegIsComplete(bytes)) raise(errors::InvalidPicture);
  return Picture(std::move(image));
}

QSize Picture::pixelSize() const { return image_ ? image_->size() : QSize(0, 0); }

float Picture::width() const { return static_cast<float>(pixelSize().width()) * Screen::twipsPerPixelX(); }

float Picture::height() const { return static_cast<float>(pixelSize().height()) * Screen::twipsPerPixelY(); }

const QImage& Picture::image() const {
  static const QImage none;
  return image_ ? *image_ : none;
}

void Picture::saveAsBitmap(const QString& path) const {
  if (!image_) raise(errors::InvalidPicture);
  writeFileWhole(path, [&](QIODevice& out) { writeBitmap(out, *image_); });
}

}  // namespace platform
