#include "platform/pictures/RasterDecoding.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/pictures/NewerFormats.h"
#include "platform/pictures/Picture.h"
#include "platform/pictures/PictureFileDevice.h"
#include "platform/pictures/ReducedJpeg.h"

#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

namespace platform {

namespace {

void raiseAllocationLimit() {
  static std::once_flag once;
  std::call_once(once, [] { QImageReader::setAllocationLimit(Picture::AllocationLimitMegabytes); });
}

bool isIconFormat(const QByteArray& format) { return format == "ico" || format == "cur"; }

// Icon files hold several sizes of one picture: show the largest. The
// directory takes 16 bytes an entry after 6 of header; no more entries are
// tried than the file can hold (a forged count of 65,535 cost a second).
QImage readLargestIcon(QImageReader& reader) {
  QImage best;
  const qint64 entriesHeld = (reader.device()->size() - 6) / 16;
  const int count = static_cast<int>(std::max<qint64>(1, std::min<qint64>(reader.imageCount(), entriesHeld)));
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    QImage candidate;
    if (!reader.read(&candidate)) continue;
    if (best.isNull() ||
        candidate.width() * static_cast<qint64>(candidate.height()) > best.width() * static_cast<qint64>(best.height()))
      best = std::move(candidate);
  }
  return best;
}

// A picture of colour indexes whose colour table is shorter than its
// indexes reach (a bitmap with a short palette, or damaged compressed data)
// gets opaque black for every index past the table, as Qt's own conversion
// gives them: drawing it would otherwise read past the table.
QImage withEveryIndexColoured(QImage image) {
  const int indexes = image.format() == QImage::Format_Indexed8                                           ? 256
                      : image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB ? 2
                                                                                                          : 0;
  if (image.colorCount() >= indexes) return image;
  QList<QRgb> colours = image.colorTable();
  colours.resize(indexes, qRgb(0, 0, 0));
  image.setColorTable(colours);
  return image;
}

bool turnsQuarter(QImageIOHandler::Transformations turn) { return turn & QImageIOHandler::TransformationRotate90; }

// The whole picture of a raster file, decoded from its start, in the
// target's colours.
QImage decodeWholeRaster(const ReadableFile& file, const BackgroundWork* work, ColourTarget target) {
  PictureFileDevice device(file, work);
  QImageReader reader(&device);
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
  const QByteArray format = reader.format();
  if (format.isEmpty()) raise(errors::InvalidPicture);
  // JPEGs go through the decoder of their reduced copies, which reads their
  // colour profiles (and CMYK through them); that decoder leaves to Qt's only
  // the colour models it does not read.
  if (format == "jpeg" && reader.size().isValid())
    if (auto decoded = decodeReducedJpeg(file, reader.size(), work, target))
      return turned(convertedColours(std::move(decoded->image), decoded->profile, target), reader.transformation());
  QImage image;
  // A decoder that stops at damaged data may leave the picture it began,
  // black where it stopped: it is no picture.
  if (isIconFormat(format))
    image = readLargestIcon(reader);
  else if (!reader.read(&image))
    image = QImage();
  if (image.isNull() || (work && work->cancelled())) raise(errors::InvalidPicture);
  image = withEveryIndexColoured(std::move(image));
  // A JPEG whose decoder found no end marker before the file ended is cut.
  if (format == "jpeg" && device.readPastTheEnd()) raise(errors::InvalidPicture);
  return convertedColours(std::move(image), embeddedProfile(file, format), target);
}

}  // namespace

std::optional<QSize> reducedFor(QSize natural, QSize box) {
  if (!box.isValid() || natural.isEmpty() || (natural.width() <= box.width() && natural.height() <= box.height()))
    return std::nullopt;
  const double scale = std::min(static_cast<double>(box.width()) / natural.width(),
                                static_cast<double>(box.height()) / natural.height());
  return QSize(std::max(1, static_cast<int>(std::ceil(natural.width() * scale - 1e-9))),
               std::max(1, static_cast<int>(std::ceil(natural.height() * scale - 1e-9))));
}

QImage turned(QImage image, QImageIOHandler::Transformations turn) {
  if (turn == QImageIOHandler::TransformationNone) return image;
  if (turn == QImageIOHandler::TransformationRotate270) return image.transformed(QTransform().rotate(270));
  image = image.mirrored(turn & QImageIOHandler::TransformationMirror, turn & QImageIOHandler::TransformationFlip);
  if (turn & QImageIOHandler::TransformationRotate90) image = image.transformed(QTransform().rotate(90));
  return image;
}

namespace {
std::atomic<PictureAllocator> pictureAllocator{nullptr};
}  // namespace

void setPictureAllocator(PictureAllocator allocator) { pictureAllocator = allocator; }

QImage newPicture(QSize size, QImage::Format format, bool pagesMadeAhead) {
  if (const PictureAllocator allocator = pictureAllocator.load())
    if (QImage image = allocator(size, format, pagesMadeAhead); !image.isNull()) return image;
  return QImage(size, format);
}

DecodedRaster decodeRaster(const ReadableFile& file, QSize box, ColourTarget target, const BackgroundWork* work) {
  raiseAllocationLimit();
  // The newer formats, through libraries of their own.
  const QByteArray first = file.read(64);
  if (isHeif(first)) return decodeHeif(file, box, target, work);
  if (isJxl(first)) return decodeJxl(file, box, target, work);
  if (mayBeRaw(first))
    if (auto raw = decodeRaw(file, box, target, work)) return std::move(*raw);
  // What the file is, and how large, from its first bytes.
  PictureFileDevice device(file, work);
  QImageReader reader(&device);
  reader.setDecideFormatFromContent(true);
  const QByteArray format = reader.format();
  if (format.isEmpty()) raise(errors::InvalidPicture);
  const QImageIOHandler::Transformations turn = reader.transformation();
  const QSize stored = reader.size();
  const QSize natural = turnsQuarter(turn) ? stored.transposed() : stored;
  const std::optional<QSize> reduced = isIconFormat(format) ? std::nullopt : reducedFor(natural, box);
  if (!reduced) {
    QImage pixels = decodeWholeRaster(file, work, target);
    const QSize size = pixels.size();
    return {size, std::move(pixels), false};
  }

  // Larger than the box: only as large as the box shows it.
  if (overAllocationLimit(natural)) raise(errors::InvalidPicture);
  const QSize fillingStored = turnsQuarter(turn) ? reduced->transposed() : *reduced;
  QImage pixels;
  if (format == "jpeg") {
    // Its colours converted at the size kept, the box's: next to nothing.
    if (const auto decoded = decodeReducedJpeg(file, fillingStored, work))
      pixels =
          turned(convertedColours(decoded->image.scaled(fillingStored, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                                  decoded->profile, target),
                 turn);
  }
  if (pixels.isNull()) {
    reader.setAutoTransform(true);
    reader.setScaledSize(fillingStored);
    if (!reader.read(&pixels) || pixels.isNull() || (work && work->cancelled())) raise(errors::InvalidPicture);
    pixels = withEveryIndexColoured(std::move(pixels));
    if (format == "jpeg" && device.readPastTheEnd()) raise(errors::InvalidPicture);
    pixels = convertedColours(std::move(pixels), embeddedProfile(file, format), target);
  }
  return {natural, std::move(pixels), true};
}

}  // namespace platform
