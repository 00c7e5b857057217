#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSizeF>

#include <list>
#include <memory>

class QPainter;
struct _RsvgHandle;

namespace platform {

// A picture kept as vector drawing: drawn afresh at whatever size it is
// shown, on white, so lines and text stay sharp at every zoom. Renderings
// are cached in tiles per displayed size; only the tiles a paint exposes are
// made, and the cache holds a bounded number of pixels.
class VectorPicture {
 public:
  // Nothing when the document cannot be read, or the pictures it embeds
  // would take more than EmbeddedPixelsLimit pixels in all.
  static std::shared_ptr<VectorPicture> fromSvg(const QByteArray& svg);
  ~VectorPicture();
  VectorPicture(const VectorPicture&) = delete;
  VectorPicture& operator=(const VectorPicture&) = delete;

  // The extent of the drawing in its own units, as the document gives it.
  QSizeF drawingExtent() const { return extent_; }

  // Draws the part of the picture, scaled to fill target, that lies in exposed.
  void draw(QPainter& painter, const QRect& target, const QRect& exposed) const;

  // The part of the picture scaled to size that lies in part, on white.
  QImage render(QSize size, const QRect& part) const;

  // Pixels held in cached tiles.
  qint64 cachedPixels() const { return cachedPixels_; }

  static constexpr int TileSide = 512;
  static constexpr qint64 CachedPixelsLimit = 16'000'000;
  static constexpr qint64 EmbeddedPixelsLimit = 100'000'000;

 private:
  explicit VectorPicture(_RsvgHandle* handle);

  struct Tile {
    QSize size;
    QPoint index;
    QImage image;
  };
  const QImage* cachedTile(QSize size, QPoint index) const;
  void keepTile(QSize size, QPoint index, QImage image) const;

  _RsvgHandle* handle_;
  QSizeF extent_;
  // Most recently used first.
  mutable std::list<Tile> tiles_;
  mutable qint64 cachedPixels_ = 0;
};

}  // namespace platform
