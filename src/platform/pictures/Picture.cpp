#include "platform/pictures/Picture.h"

#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/SafeWrite.h"
#include "platform/desktop/Screen.h"
#include "platform/pictures/BitmapWriter.h"
#include "platform/pictures/MetafileHeader.h"
#include "platform/pictures/PictureFile.h"
#include "platform/pictures/VectorPicture.h"

#include <QBuffer>
#include <QImageReader>
#include <QIODevice>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
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
    if (best.isNull() || candidate.width() * static_cast<qint64>(candidate.height()) >
                             best.width() * static_cast<qint64>(best.height()))
      best = std::move(candidate);
  }
  return best;
}

// Enlarged this much or more, pixels are shown as sharp squares.
bool showsPixels(const QImage& image, QSize size) {
  return size.width() >= 2 * image.width() && size.height() >= 2 * image.height();
}

}  // namespace

// A decoded picture, with scaled copies for the sizes it is shown at.
struct Picture::Pixels {
  explicit Pixels(QImage decoded) : image(std::move(decoded)) {}

  void draw(QPainter& painter, const QRect& target, const QRect& exposed) {
    if (target.size() == image.size())
      drawExposed(painter, target.topLeft(), exposed);
    else if (static_cast<qint64>(target.width()) * target.height() <= CachedPixelsLimit)
      painter.drawPixmap(target.topLeft(), scaledTo(target.size()));
    else
      drawExposedScaled(painter, target, exposed);
  }

  // Only the part of the picture that the paint exposes is drawn.
  void drawExposed(QPainter& painter, QPoint origin, const QRect& exposed) const {
    const QRect part = exposed & QRect(origin, image.size());
    if (!part.isEmpty()) painter.drawImage(part, image, part.translated(-origin));
  }

  // The picture scaled to a size, made once and kept while that copy is
  // small; the two latest sizes are kept, as a picture is often shown both
  // in a preview and at full size.
  const QPixmap& scaledTo(QSize size) {
    for (QPixmap& copy : scaled)
      if (copy.size() == size) return copy;
    QImage source = image;
    // Very large reductions: a quick first pass, then smoothing.
    if (source.width() > size.width() * 4 && source.height() > size.height() * 4)
      source = source.scaled(size * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const Qt::TransformationMode mode = showsPixels(image, size) ? Qt::FastTransformation : Qt::SmoothTransformation;
    std::swap(scaled[0], scaled[1]);
    scaled[0] = QPixmap::fromImage(source.scaled(size, Qt::IgnoreAspectRatio, mode));
    return scaled[0];
  }

  // A large enlargement: only the exposed part of the picture is scaled,
  // straight from the decoded picture.
  void drawExposedScaled(QPainter& painter, const QRect& target, const QRect& exposed) const {
    const double scaleX = static_cast<double>(target.width()) / image.width();
    const double scaleY = static_cast<double>(target.height()) / image.height();
    const QRect part = exposed & target;
    const QRectF source((part.left() - target.left()) / scaleX, (part.top() - target.top()) / scaleY,
                        part.width() / scaleX, part.height() / scaleY);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !showsPixels(image, target.size()));
    painter.drawImage(QRectF(part), image, source);
  }

  // A scaled copy larger than this is not kept.
  static constexpr qint64 CachedPixelsLimit = 4'000'000;

  const QImage image;
  std::array<QPixmap, 2> scaled;
};

// A metafile's drawing with its natural size.
struct Picture::Drawing {
  std::shared_ptr<VectorPicture> drawing;
  QSizeF twips;
  QImage natural;  // made when first asked for
};

Picture::Picture(std::shared_ptr<Pixels> pixels) : image_(std::move(pixels)), handle_(nextHandle()) {}

Picture::Picture(std::shared_ptr<Drawing> drawing) : vector_(std::move(drawing)), handle_(nextHandle()) {}

Picture Picture::fromImage(QImage image) {
  if (image.isNull()) return Picture();
  return Picture(std::make_shared<Pixels>(std::move(image)));
}

Picture Picture::load(const QString& path) {
  if (path.isEmpty()) return Picture();
  raiseAllocationLimit();

  const QByteArray bytes = ReadableFile(path).readAll();
  if (const auto metafile = readMetafileHeader(bytes)) return loadMetafile(*metafile, bytes);

  QBuffer buffer;
  buffer.setData(withBitmapHeaderQtReads(bytes));
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
  return Picture(std::make_shared<Pixels>(std::move(image)));
}

Picture Picture::loadMetafile(const MetafileHeader& header, const QByteArray& bytes) {
  auto drawing = std::make_shared<Drawing>();
  drawing->drawing = VectorPicture::start(bytes);
  if (!drawing->drawing) raise(errors::InvalidPicture);
  // A plain WMF that sets no window extent is as large as its drawing.
  drawing->twips = header.twips.isEmpty() ? drawing->drawing->drawingExtent() * TwipsPerWmfUnit : header.twips;
  if (!isShowableSize(drawing->twips)) raise(errors::InvalidPicture);
  return Picture(std::move(drawing));
}

QSize Picture::pixelSize() const {
  if (image_) return image_->image.size();
  if (!vector_) return QSize(0, 0);
  const auto pixels = [](double twips, float twipsPerPixel) {
    return std::max(1, static_cast<int>(std::lround(twips / twipsPerPixel)));
  };
  return QSize(pixels(vector_->twips.width(), Screen::twipsPerPixelX()),
               pixels(vector_->twips.height(), Screen::twipsPerPixelY()));
}

float Picture::width() const {
  if (vector_) return static_cast<float>(vector_->twips.width());
  return static_cast<float>(pixelSize().width()) * Screen::twipsPerPixelX();
}

float Picture::height() const {
  if (vector_) return static_cast<float>(vector_->twips.height());
  return static_cast<float>(pixelSize().height()) * Screen::twipsPerPixelY();
}

void Picture::draw(QPainter& painter, const QRect& target, const QRect& exposed) const {
  if (target.isEmpty() || exposed.isEmpty()) return;
  if (image_) image_->draw(painter, target, exposed);
  if (vector_) vector_->drawing->draw(painter, target, exposed);
}

const QImage& Picture::image() const {
  static const QImage none;
  if (image_) return image_->image;
  if (!vector_) return none;
  if (vector_->natural.isNull()) {
    const QSize size = pixelSize();
    if (static_cast<qint64>(size.width()) * size.height() * 4 > qint64{AllocationLimitMegabytes} * 1024 * 1024)
      raise(errors::OutOfMemory);
    vector_->natural = vector_->drawing->render(size, QRect(QPoint(0, 0), size));
    if (vector_->natural.isNull()) raise(errors::InvalidPicture);
  }
  return vector_->natural;
}

void Picture::saveAsBitmap(const QString& path) const {
  if (isEmpty()) raise(errors::InvalidPicture);
  const QImage& picture = image();
  writeFileWhole(path, [&](QIODevice& out) { writeBitmap(out, picture); });
}

}  // namespace platform
