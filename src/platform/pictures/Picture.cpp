#include "platform/pictures/Picture.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/desktop/RuntimeError.h"
#include "platform/desktop/SafeWrite.h"
#include "platform/desktop/SharedWork.h"
#include "platform/desktop/Screen.h"
#include "platform/pictures/BitmapWriter.h"
#include "platform/pictures/MetafileHeader.h"
#include "platform/pictures/MetafileProtocol.h"
#include "platform/pictures/PictureFile.h"
#include "platform/pictures/DecoderWorkers.h"
#include "platform/pictures/VectorPicture.h"

#include <QIODevice>
#include <QPaintDevice>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <list>
#include <optional>
#include <map>
#include <mutex>

namespace platform {

namespace {

// What a file is judged by before more of it is read.
constexpr std::int64_t FirstBytes = 4096;

std::uint64_t nextHandle() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

// Enlarged this much or more, pixels are shown as sharp squares.
bool showsPixels(QSize source, QSize size) {
  return size.width() >= 2 * source.width() && size.height() >= 2 * source.height();
}

qreal devicePixelRatioOf(const QPainter& painter) {
  return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}

QSize inDevicePixels(QSize size, qreal ratio) {
  return QSize(static_cast<int>(std::lround(size.width() * ratio)),
               static_cast<int>(std::lround(size.height() * ratio)));
}

// Decoded pictures by file and state, shared while anything holds them and
// while they are still of use.
template <class Decoded>
class SharedByFile {
 public:
  explicit SharedByFile(std::function<bool(const Decoded&)> usable = [](const Decoded&) { return true; })
      : usable_(std::move(usable)) {}

  std::shared_ptr<Decoded> find(const FileState& state) {
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(state);
    if (found == entries_.end()) return nullptr;
    auto decoded = found->second.lock();
    return decoded && usable_(*decoded) ? decoded : nullptr;
  }

  // The one kept for the state: this one, or one made meanwhile elsewhere.
  std::shared_ptr<Decoded> keep(const FileState& state, std::shared_ptr<Decoded> decoded) {
    const std::lock_guard lock(mutex_);
    std::erase_if(entries_, [](const auto& entry) { return entry.second.expired(); });
    auto& entry = entries_[state];
    if (auto earlier = entry.lock(); earlier && usable_(*earlier)) return earlier;
    entry = decoded;
    return decoded;
  }

 private:
  std::function<bool(const Decoded&)> usable_;
  std::mutex mutex_;
  std::map<FileState, std::weak_ptr<Decoded>> entries_;
};

SharedByFile<const QImage>& wholePictures() {
  static SharedByFile<const QImage> shared;
  return shared;
}

}  // namespace

// Decoded pixels: the whole picture, or a reduced copy while nothing has
// needed more; with scaled copies for the sizes it is shown at.
struct Picture::Pixels {
  Pixels(QSize naturalSize, std::shared_ptr<const QImage> wholePicture, QString file = {}, FileState state = {})
      : natural(naturalSize), whole(std::move(wholePicture)), path(std::move(file)), source(state) {}
  Pixels(QSize naturalSize, QImage reducedCopy, QString file, FileState state)
      : natural(naturalSize), reduced(std::move(reducedCopy)), path(std::move(file)), source(state) {}

  const QImage* wholeImage() const {
    const std::lock_guard lock(mutex);
    return whole.get();
  }

  void decodeWhole(const BackgroundWork* work) {
    if (wholeImage()) return;
    const ReadableFile file(path);
    if (file.state() != source) raise(errors::InvalidPicture);  // no longer the picture shown
    std::shared_ptr<const QImage> decoded = wholePictures().find(source);
    if (!decoded)
      decoded = wholePictures().keep(
          source,
          std::make_shared<const QImage>(DecoderWorkers::decode(file, QSize(), ColourTarget::Display, work).pixels));
    const std::lock_guard lock(mutex);
    if (!whole) whole = std::move(decoded);
  }

  // The whole picture in sRGB's colours, for a file others read: decoded
  // anew where what is shown is in the display's colours.
  QImage wholeInSrgb() {
    if (path.isEmpty() || !DecoderWorkers::displayHasOwnProfile()) {
      decodeWhole(nullptr);
      return *wholeImage();
    }
    const ReadableFile file(path);
    if (file.state() != source) raise(errors::InvalidPicture);  // no longer the picture shown
    return DecoderWorkers::decode(file, QSize(), ColourTarget::Srgb, nullptr).pixels;
  }

  // The pixels to draw from: the whole picture once something needed it,
  // else the reduced copy, which fills the box it was decoded for. Drawing
  // never decodes: a paint never waits for a decoder.
  QImage shownPixels() const {
    if (const QImage* decoded = wholeImage()) return *decoded;
    return reduced;
  }

  // Without the scaled copy for this size, the exposed part is scaled as it
  // is drawn, roughly, until the copy is made.
  bool draw(QPainter& painter, const QRect& target, const QRect& exposed) {
    const qreal ratio = devicePixelRatioOf(painter);
    const QSize size = inDevicePixels(target.size(), ratio);
    const QImage pixels = shownPixels();
    const QRect part = exposed & target;
    if (size == pixels.size()) {
      drawPart(painter, pixels, target, part, ratio);
    } else if (showsPixels(pixels.size(), size)) {
      drawPartScaled(painter, pixels, target, part, false);
    } else if (static_cast<qint64>(size.width()) * size.height() <= CachedPixelsLimit) {
      const QImage copy = scaledCopy(size);
      if (copy.isNull()) {
        drawPartScaled(painter, pixels, target, part, true);
        return false;
      }
      drawPart(painter, copy, target, part, ratio);
    } else {
      drawPartScaled(painter, pixels, target, part, true);
    }
    return true;
  }

  void prepare(QSize size) {
    const QImage pixels = shownPixels();
    if (size != pixels.size() && !showsPixels(pixels.size(), size) &&
        static_cast<qint64>(size.width()) * size.height() <= CachedPixelsLimit)
      scaledTo(pixels, size);
  }

  // Pixels drawn one to one: only the part that the paint exposes.
  static void drawPart(QPainter& painter, QImage pixels, const QRect& target, const QRect& part, qreal ratio) {
    if (part.isEmpty()) return;
    pixels.setDevicePixelRatio(ratio);
    const QRectF from((part.left() - target.left()) * ratio, (part.top() - target.top()) * ratio, part.width() * ratio,
                      part.height() * ratio);
    painter.drawImage(QRectF(part), pixels, from);
  }

  // Scaled as drawn, straight from the pixels: only the exposed part.
  static void drawPartScaled(QPainter& painter, const QImage& pixels, const QRect& target, const QRect& part,
                             bool smooth) {
    if (part.isEmpty()) return;
    const double scaleX = static_cast<double>(target.width()) / pixels.width();
    const double scaleY = static_cast<double>(target.height()) / pixels.height();
    const QRectF from((part.left() - target.left()) / scaleX, (part.top() - target.top()) / scaleY,
                      part.width() / scaleX, part.height() / scaleY);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    painter.drawImage(QRectF(part), pixels, from);
    painter.restore();
  }

  // The scaled copy made for this size; a null image when there is none.
  QImage scaledCopy(QSize size) const {
    const std::lock_guard lock(mutex);
    for (const QImage& copy : scaled)
      if (copy.size() == size) return copy;
    return {};
  }

  // The pixels scaled to a size, made once and kept while that copy is
  // small; the two latest sizes are kept, as a picture is often shown both
  // in a preview and at full size.
  QImage scaledTo(const QImage& pixels, QSize size) {
    if (QImage copy = scaledCopy(size); !copy.isNull()) return copy;
    QImage from = pixels;
    // Very large reductions: a quick first pass, then smoothing.
    if (from.width() > size.width() * 4 && from.height() > size.height() * 4)
      from = from.scaled(size * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QImage copy = from.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const std::lock_guard lock(mutex);
    std::swap(scaled[0], scaled[1]);
    scaled[0] = copy;
    return copy;
  }

  // A scaled copy larger than this is not kept.
  static constexpr qint64 CachedPixelsLimit = 4'000'000;

  const QSize natural;
  mutable std::mutex mutex;
  std::shared_ptr<const QImage> whole;
  const QImage reduced;
  const QString path;
  const FileState source{};
  std::array<QImage, 2> scaled;
};

// A metafile's drawing with its natural size.
struct Picture::Drawing {
  std::shared_ptr<VectorPicture> drawing;
  QSizeF twips;
  std::mutex mutex;
  QImage natural;  // made when first asked for
};

// Previews decoded before they were asked for, by file state and box, the
// latest first, within 2 MB of pixels.
struct Picture::Prefetched {
  static constexpr qsizetype Limit = 2 << 20;
  struct Entry {
    FileState state;
    QSize box;
    Picture picture;
    qsizetype bytes;
  };
  std::mutex mutex;
  std::list<Entry> entries;
  qsizetype total = 0;

  static Prefetched& kept() {
    static Prefetched* previews = new Prefetched;  // outlives the threads that may use it at exit
    return *previews;
  }

  std::optional<Picture> find(const FileState& state, QSize box) {
    const std::lock_guard lock(mutex);
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const Entry& entry) { return entry.state == state && entry.box == box; });
    if (found == entries.end()) return std::nullopt;
    entries.splice(entries.begin(), entries, found);
    return found->picture;
  }

  void keep(const FileState& state, QSize box, const Picture& picture) {
    if (!picture.image_) return;
    const QImage& pixels = picture.image_->wholeImage() ? *picture.image_->wholeImage() : picture.image_->reduced;
    const qsizetype bytes = pixels.sizeInBytes();
    if (bytes > Limit) return;
    const std::lock_guard lock(mutex);
    std::erase_if(entries, [&](const Entry& entry) {
      const bool same = entry.state == state && entry.box == box;
      if (same) total -= entry.bytes;
      return same;
    });
    while (!entries.empty() && total + bytes > Limit) {
      total -= entries.back().bytes;
      entries.pop_back();
    }
    entries.push_front({state, box, picture, bytes});
    total += bytes;
  }
};

Picture::Picture(std::shared_ptr<Pixels> pixels) : image_(std::move(pixels)), handle_(nextHandle()) {}

Picture::Picture(std::shared_ptr<Drawing> drawing) : vector_(std::move(drawing)), handle_(nextHandle()) {}

Picture Picture::fromImage(QImage image) {
  if (image.isNull()) return Picture();
  const QSize size = image.size();
  return Picture(std::make_shared<Pixels>(size, std::make_shared<const QImage>(std::move(image))));
}

Picture Picture::load(const QString& path, const BackgroundWork* work) {
  if (path.isEmpty()) return Picture();
  return open(ReadableFile(path), QSize(), work);
}

Picture Picture::load(const ReadableFile& file, const BackgroundWork* work) { return open(file, QSize(), work); }

Picture Picture::loadFitting(const QString& path, QSize box, const BackgroundWork* work) {
  if (path.isEmpty()) return Picture();
  return open(ReadableFile(path), box, work);
}

Picture Picture::loadFitting(const ReadableFile& file, QSize box, const BackgroundWork* work) {
  return open(file, box, work);
}

bool Picture::isWindowsBitmap(const ReadableFile& file) {
  // As the bitmap decoder knows its files: by their first two bytes.
  return file.read(2) == "BM";
}

void Picture::prefetchFitting(const QString& path, QSize box, const BackgroundWork* work) {
  runCatchingErrors([&] {
    const ReadableFile file(path);
    if (Prefetched::kept().find(file.state(), box)) return;
    const Picture picture = open(file, box, work, true);
    if (!(work && work->cancelled())) Prefetched::kept().keep(file.state(), box, picture);
  });
}

Picture Picture::open(const ReadableFile& file, QSize box, const BackgroundWork* work, bool prefetching) {
  if (box.isValid())
    if (auto prefetched = Prefetched::kept().find(file.state(), box)) return *prefetched;
  const QByteArray first = file.read(FirstBytes);
  if (looksLikeMetafile(first)) {
    if (prefetching) return Picture();  // a metafile is converted when it is shown
    return loadMetafile(file, work);
  }
  if (!plausibleBitmapHeader(first, file.size())) raise(errors::InvalidPicture);
  if (auto whole = wholePictures().find(file.state())) {
    const QSize size = whole->size();
    return Picture(std::make_shared<Pixels>(size, std::move(whole), file.path(), file.state()));
  }

  DecodedRaster decoded =
      DecoderWorkers::decode(file, box, ColourTarget::Display, work,
                             prefetching ? DecoderWorkers::Priority::Low : DecoderWorkers::Priority::Normal);
  if (!decoded.reduced) {
    auto whole = std::make_shared<const QImage>(std::move(decoded.pixels));
    return Picture(std::make_shared<Pixels>(decoded.natural, wholePictures().keep(file.state(), std::move(whole)),
                                            file.path(), file.state()));
  }
  return Picture(std::make_shared<Pixels>(decoded.natural, std::move(decoded.pixels), file.path(), file.state()));
}

// A metafile is converted once, whoever asks for it meanwhile (the preview
// and the viewer), and its drawing shared while anything holds it; one whose
// helper has failed is converted anew.
Picture Picture::loadMetafile(const ReadableFile& file, const BackgroundWork* work) {
  static SharedByFile<Drawing> sharedDrawings([](const Drawing& shared) { return !shared.drawing->failed(); });
  static SharedWork<FileState, Drawing> conversions;
  if (auto shared = sharedDrawings.find(file.state())) return Picture(std::move(shared));
  if (static_cast<std::uint64_t>(file.size()) > metafile_protocol::MetafileLimit) raise(errors::InvalidPicture);
  const QByteArray bytes = file.readAll();
  const auto header = readMetafileHeader(bytes);
  if (!header) raise(errors::InvalidPicture);
  auto converted = conversions.get(file.state(), work, [&](const BackgroundWork& wanted) -> std::shared_ptr<Drawing> {
    auto drawing = std::make_shared<Drawing>();
    drawing->drawing = VectorPicture::start(bytes, &wanted);
    if (!drawing->drawing) return nullptr;
    // A plain WMF that sets no window extent is as large as its drawing.
    drawing->twips = header->twips.isEmpty() ? drawing->drawing->drawingExtent() * TwipsPerWmfUnit : header->twips;
    if (!isShowableSize(drawing->twips)) return nullptr;
    return sharedDrawings.keep(file.state(), std::move(drawing));
  });
  if (!converted) raise(errors::InvalidPicture);
  return Picture(std::move(converted));
}

QSize Picture::pixelSize() const {
  if (image_) return image_->natural;
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

bool Picture::draw(QPainter& painter, const QRect& target, const QRect& exposed) const {
  if (target.isEmpty() || exposed.isEmpty()) return true;
  if (image_) return image_->draw(painter, target, exposed);
  if (vector_) return vector_->drawing->draw(painter, target, exposed);
  return true;
}

void Picture::prepareDrawing(QSize deviceSize, const BackgroundWork* work) const {
  if (deviceSize.isEmpty()) return;
  if (image_) image_->prepare(deviceSize);
  if (vector_) vector_->drawing->prepare(deviceSize, work);
}

void Picture::prepareDrawing(QSize deviceSize, const QRect& part, const BackgroundWork* work) const {
  if (deviceSize.isEmpty()) return;
  if (image_) image_->prepare(deviceSize);
  if (vector_) vector_->drawing->prepare(deviceSize, part, work);
}

void Picture::decodeWhole(const BackgroundWork* work) const {
  if (image_) image_->decodeWhole(work);
  if (!vector_) return;
  const std::lock_guard lock(vector_->mutex);
  if (!vector_->natural.isNull()) return;
  const QSize size = pixelSize();
  if (overAllocationLimit(size)) raise(errors::OutOfMemory);
  vector_->natural = vector_->drawing->render(size, QRect(QPoint(0, 0), size), work);
  if (vector_->natural.isNull()) raise(errors::InvalidPicture);
}

const QImage& Picture::image() const {
  static const QImage none;
  if (isEmpty()) return none;
  decodeWhole();
  if (image_) return *image_->wholeImage();
  return vector_->natural;
}

// A bitmap without a profile is taken as sRGB by every program: it is
// written in sRGB's colours, whatever the display's.
void Picture::saveAsBitmap(const QString& path) const {
  if (isEmpty()) raise(errors::InvalidPicture);
  const QImage picture = image_ ? image_->wholeInSrgb() : image();
  writeFileWhole(path, [&](QIODevice& out) { writeBitmap(out, picture); });
}

}  // namespace platform
