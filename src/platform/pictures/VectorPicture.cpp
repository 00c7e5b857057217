#include "platform/pictures/VectorPicture.h"

#include "platform/pictures/MetafileHelper.h"
#include "platform/pictures/MetafileProtocol.h"

#include <QPainter>

#include <algorithm>

namespace platform {

std::shared_ptr<VectorPicture> VectorPicture::start(const QByteArray& metafile) {
  auto helper = MetafileHelper::start(metafile);
  if (!helper) return nullptr;
  return std::make_shared<VectorPicture>(std::move(helper));
}

VectorPicture::VectorPicture(std::unique_ptr<MetafileHelper> helper) : helper_(std::move(helper)) {}

VectorPicture::~VectorPicture() = default;

QSizeF VectorPicture::drawingExtent() const { return helper_->drawingExtent(); }

// Large parts are asked for in bands of rows, each within what the helper
// sends at once.
QImage VectorPicture::render(QSize size, const QRect& part) const {
  if (static_cast<qint64>(part.width()) * part.height() <= metafile_protocol::PartPixelsLimit)
    return helper_->render(size, part);
  QImage whole(part.size(), QImage::Format_ARGB32_Premultiplied);
  if (whole.isNull()) return {};
  const int bandRows = std::max(1, static_cast<int>(metafile_protocol::PartPixelsLimit / part.width()));
  for (int top = 0; top < part.height(); top += bandRows) {
    const QRect band(part.x(), part.y() + top, part.width(), std::min(bandRows, part.height() - top));
    const QImage drawn = helper_->render(size, band);
    if (drawn.isNull()) return {};
    std::copy_n(drawn.constBits(), drawn.sizeInBytes(), whole.scanLine(top));
  }
  return whole;
}

void VectorPicture::draw(QPainter& painter, const QRect& target, const QRect& exposed) const {
  const QRect whole(QPoint(0, 0), target.size());
  const QRect visible = (exposed & target).translated(-target.topLeft());
  if (visible.isEmpty()) return;
  const int firstColumn = visible.left() / TileSide, lastColumn = visible.right() / TileSide;
  const int firstRow = visible.top() / TileSide, lastRow = visible.bottom() / TileSide;

  // The tiles not yet made are rendered together, in one pass over the drawing.
  QRect missing;
  for (int row = firstRow; row <= lastRow; ++row)
    for (int column = firstColumn; column <= lastColumn; ++column)
      if (!cachedTile(target.size(), QPoint(column, row)))
        missing |= QRect(column * TileSide, row * TileSide, TileSide, TileSide) & whole;
  const QImage rendered = missing.isEmpty() ? QImage() : render(target.size(), missing);
  if (!missing.isEmpty() && rendered.isNull())
    painter.fillRect(missing.translated(target.topLeft()), Qt::white);  // the helper has failed
  if (!rendered.isNull()) {
    for (int row = firstRow; row <= lastRow; ++row)
      for (int column = firstColumn; column <= lastColumn; ++column) {
        const QRect tile = QRect(column * TileSide, row * TileSide, TileSide, TileSide) & whole;
        if (missing.contains(tile) && !cachedTile(target.size(), QPoint(column, row)))
          keepTile(target.size(), QPoint(column, row), rendered.copy(tile.translated(-missing.topLeft())));
      }
  }

  for (int row = firstRow; row <= lastRow; ++row)
    for (int column = firstColumn; column <= lastColumn; ++column)
      if (const QImage* tile = cachedTile(target.size(), QPoint(column, row)))
        painter.drawImage(target.topLeft() + QPoint(column * TileSide, row * TileSide), *tile);
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
