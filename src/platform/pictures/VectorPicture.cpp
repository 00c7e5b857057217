#include "platform/pictures/VectorPicture.h"

#include "platform/pictures/MetafileHelper.h"
#include "platform/pictures/MetafileProtocol.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

QRect inDevicePixels(const QRect& rect, qreal ratio) {
  const auto at = [ratio](int logical) { return static_cast<int>(std::lround(logical * ratio)); };
  return QRect(QPoint(at(rect.left()), at(rect.top())), QPoint(at(rect.right() + 1) - 1, at(rect.bottom() + 1) - 1));
}

}  // namespace

std::shared_ptr<VectorPicture> VectorPicture::start(const QByteArray& metafile, const BackgroundWork* work) {
  auto helper = MetafileHelper::start(metafile, metafileHelperProgram(), {}, work);
  if (!helper) return nullptr;
  return std::make_shared<VectorPicture>(std::move(helper));
}

VectorPicture::VectorPicture(std::unique_ptr<MetafileHelper> helper) : helper_(std::move(helper)) {}

VectorPicture::~VectorPicture() = default;

QSizeF VectorPicture::drawingExtent() const { return helper_->drawingExtent(); }

qint64 VectorPicture::cachedPixels() const {
  const std::lock_guard lock(mutex_);
  return cachedPixels_;
}

QImage VectorPicture::render(QSize size, const QRect& part, const BackgroundWork* work) const {
  const std::lock_guard lock(mutex_);
  return renderLocked(size, part, work);
}

// Large parts are asked for in bands of rows, each within what the helper
// sends at once.
QImage VectorPicture::renderLocked(QSize size, const QRect& part, const BackgroundWork* work) const {
  if (static_cast<qint64>(part.width()) * part.height() <= metafile_protocol::PartPixelsLimit)
    return helper_->render(size, part, work);
  QImage whole(part.size(), QImage::Format_ARGB32_Premultiplied);
  if (whole.isNull()) return {};
  const int bandRows = std::max(1, static_cast<int>(metafile_protocol::PartPixelsLimit / part.width()));
  for (int top = 0; top < part.height(); top += bandRows) {
    const QRect band(part.x(), part.y() + top, part.width(), std::min(bandRows, part.height() - top));
    const QImage drawn = helper_->render(size, band, work);
    if (drawn.isNull()) return {};
    std::copy_n(drawn.constBits(), drawn.sizeInBytes(), whole.scanLine(top));
  }
  return whole;
}

bool VectorPicture::draw(QPainter& painter, const QRect& target, const QRect& exposed) const {
  const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  // A paint never waits: while a tile is being made, the drawing's lock is
  // taken, and the paint is drawn white until it is done.
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) {
    painter.fillRect(exposed & target, Qt::white);
    return false;
  }
  if (ratio == 1.0) return drawTiles(painter, target, exposed);
  // Tiles of device pixels, drawn one to one.
  painter.save();
  painter.scale(1 / ratio, 1 / ratio);
  const bool complete = drawTiles(painter, inDevicePixels(target, ratio), inDevicePixels(exposed, ratio));
  painter.restore();
  return complete;
}

void VectorPicture::prepare(QSize deviceSize, const BackgroundWork* work) const {
  if (deviceSize.isEmpty() || static_cast<qint64>(deviceSize.width()) * deviceSize.height() > CachedPixelsLimit) return;
  const std::lock_guard lock(mutex_);
  makeMissingTiles(deviceSize, QRect(QPoint(0, 0), deviceSize), work);
}

void VectorPicture::prepare(QSize deviceSize, const QRect& part, const BackgroundWork* work) const {
  const QRect visible = part & QRect(QPoint(0, 0), deviceSize);
  if (visible.isEmpty()) return;
  const std::lock_guard lock(mutex_);
  makeMissingTiles(deviceSize, visible, work);
}

bool VectorPicture::failed() const { return helper_->failed(); }

// The tiles not yet made are rendered together, in one pass over the
// drawing; false when the helper failed.
bool VectorPicture::makeMissingTiles(QSize size, const QRect& visible, const BackgroundWork* work) const {
  const QRect whole(QPoint(0, 0), size);
  const int firstColumn = visible.left() / TileSide, lastColumn = visible.right() / TileSide;
  const int firstRow = visible.top() / TileSide, lastRow = visible.bottom() / TileSide;
  QRect missing;
  for (int row = firstRow; row <= lastRow; ++row)
    for (int column = firstColumn; column <= lastColumn; ++column)
      if (!cachedTile(size, QPoint(column, row)))
        missing |= QRect(column * TileSide, row * TileSide, TileSide, TileSide) & whole;
  if (missing.isEmpty()) return true;
  const QImage rendered = renderLocked(size, missing, work);
  if (rendered.isNull()) return false;
  for (int row = firstRow; row <= lastRow; ++row)
    for (int column = firstColumn; column <= lastColumn; ++column) {
      const QRect tile = QRect(column * TileSide, row * TileSide, TileSide, TileSide) & whole;
      if (missing.contains(tile) && !cachedTile(size, QPoint(column, row)))
        keepTile(size, QPoint(column, row), rendered.copy(tile.translated(-missing.topLeft())));
    }
  return true;
}

bool VectorPicture::drawTiles(QPainter& painter, const QRect& target, const QRect& exposed) const {
  const QRect visible = (exposed & target).translated(-target.topLeft());
  if (visible.isEmpty()) return true;
  const QRect whole(QPoint(0, 0), target.size());
  bool complete = true;
  const int firstColumn = visible.left() / TileSide, lastColumn = visible.right() / TileSide;
  const int firstRow = visible.top() / TileSide, lastRow = visible.bottom() / TileSide;
  for (int row = firstRow; row <= lastRow; ++row)
    for (int column = firstColumn; column <= lastColumn; ++column) {
      const QPoint corner = target.topLeft() + QPoint(column * TileSide, row * TileSide);
      if (const QImage* tile = cachedTile(target.size(), QPoint(column, row))) {
        painter.drawImage(corner, *tile);
      } else {
        painter.fillRect(
            (QRect(column * TileSide, row * TileSide, TileSide, TileSide) & whole).translated(target.topLeft()),
            Qt::white);
        complete = false;
      }
    }
  // Once the helper has failed, white is all there is.
  return complete || helper_->failed();
}

const QImage* VectorPicture::cachedTile(QSize size, QPoint index) const {
  for (auto it = tiles_.begin(); it != tiles_.end(); ++it)
    if (it->size == size && it->index == index) {
      tiles_.splice(tiles_.begin(), tiles_, it);
      return &tiles_.front().image;
    }
  return nullptr;
}

void VectorPicture::keepTile(QSize size, QPoint index, QImage image) const {
  cachedPixels_ += static_cast<qint64>(image.width()) * image.height();
  tiles_.push_front(Tile{size, index, std::move(image)});
  // The newest tile always stays, so a paint never loses what it just made.
  while (cachedPixels_ > CachedPixelsLimit && tiles_.size() > 1) {
    cachedPixels_ -= static_cast<qint64>(tiles_.back().image.width()) * tiles_.back().image.height();
    tiles_.pop_back();
  }
}

}  // namespace platform
