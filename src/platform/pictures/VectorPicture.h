#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSizeF>

#include <list>
#include <memory>
#include <mutex>

class QPainter;

namespace platform {

class BackgroundWork;
class MetafileHelper;

// A metafile kept as vector drawing, drawn afresh at whatever size it is
// shown, on white and at the device's own resolution, so lines and text stay
// sharp at every zoom. The drawing is done by the metafile helper;
// renderings are cached here in tiles per displayed size, only the tiles a
// paint exposes are made, and the cache holds a bounded number of pixels.
// It may be used from any thread.
class VectorPicture {
 public:
  // Nothing when the helper cannot read the metafile, or the work was cancelled.
  static std::shared_ptr<VectorPicture> start(const QByteArray& metafile, const BackgroundWork* work = nullptr);
  explicit VectorPicture(std::unique_ptr<MetafileHelper> helper);
  ~VectorPicture();
  VectorPicture(const VectorPicture&) = delete;
  VectorPicture& operator=(const VectorPicture&) = delete;

  // The extent of the drawing in its own units.
  QSizeF drawingExtent() const;

  // Draws the part of the picture, scaled to fill target, that lies in
  // exposed, from the tiles made already, never waiting for the helper:
  // white where a tile is missing, and then false, unless the helper has
  // failed (white is all it will give).
  bool draw(QPainter& painter, const QRect& target, const QRect& exposed) const;

  // Makes, ahead of a paint, every tile of the picture drawn at this size in
  // device pixels, when they fit in the cache; or the tiles of the part.
  void prepare(QSize deviceSize, const BackgroundWork* work) const;
  void prepare(QSize deviceSize, const QRect& part, const BackgroundWork* work) const;

  // Whether the helper has failed: nothing more will be drawn.
  bool failed() const;

  // The part of the picture scaled to size that lies in part; a null image
  // when the helper fails.
  QImage render(QSize size, const QRect& part, const BackgroundWork* work = nullptr) const;

  // Pixels held in cached tiles.
  qint64 cachedPixels() const;

  static constexpr int TileSide = 512;
  static constexpr qint64 CachedPixelsLimit = 16'000'000;

 private:
  struct Tile {
    QSize size;
    QPoint index;
    QImage image;
  };
  // In device pixels, with the lock held.
  bool drawTiles(QPainter& painter, const QRect& target, const QRect& exposed) const;
  bool makeMissingTiles(QSize size, const QRect& visible, const BackgroundWork* work) const;
  QImage renderLocked(QSize size, const QRect& part, const BackgroundWork* work) const;
  const QImage* cachedTile(QSize size, QPoint index) const;
  void keepTile(QSize size, QPoint index, QImage image) const;

  mutable std::mutex mutex_;
  std::unique_ptr<MetafileHelper> helper_;
  // Most recently used first.
  mutable std::list<Tile> tiles_;
  mutable qint64 cachedPixels_ = 0;
};

}  // namespace platform
