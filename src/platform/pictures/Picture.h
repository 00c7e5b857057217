#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>

class QPainter;

namespace platform {

struct MetafileHeader;

// A picture as image controls hold it: decoded once, shared by every holder,
// with a handle that is non-zero exactly while it holds a picture. A picture
// is either pixels or, for Windows metafiles, vector drawing; holders see only
// its natural size and ask it to draw itself.
class Picture {
 public:
  // The empty picture.
  Picture() = default;

  // Loads a picture file. An empty path gives the empty picture. Only regular
  // files (or links to them) are read; anything else, data that cannot be
  // decoded and a JPEG that ends before its image does all fail.
  static Picture load(const QString& path);
  static Picture fromImage(QImage image);

  bool isEmpty() const { return !image_ && !vector_; }
  std::uint64_t handle() const { return handle_; }

  // Natural size in pixels.
  QSize pixelSize() const;
  // Natural size in twips.
  float width() const;
  float height() const;

  // Draws the part of the picture, scaled to fill target, that lies in
  // exposed (both in the painter's coordinates).
  void draw(QPainter& painter, const QRect& target, const QRect& exposed) const;

  // The picture at its natural size: the decoded pixels, or a metafile drawn
  // on white. A null image for the empty picture.
  const QImage& image() const;

  // Writes the picture, at its own size, as a Windows bitmap file: 24 bits a
  // pixel, or 32 with alpha when some pixels are transparent. The target is
  // replaced only once the whole file is written (writeFileWhole).
  void saveAsBitmap(const QString& path) const;

  // Largest decoded picture accepted, in megabytes; enough for photos of well
  // over 100 megapixels, small enough that a forged header cannot exhaust memory.
  static constexpr int AllocationLimitMegabytes = 1536;

 private:
  struct Pixels;
  struct Drawing;
  explicit Picture(std::shared_ptr<Pixels> pixels);
  explicit Picture(std::shared_ptr<Drawing> drawing);
  static Picture loadMetafile(const MetafileHeader& header, const QByteArray& bytes);

  std::shared_ptr<Pixels> image_;
  std::shared_ptr<Drawing> vector_;
  std::uint64_t handle_ = 0;
};

// LoadPicture of the run time.
inline Picture LoadPicture(const QString& path = QString()) { return Picture::load(path); }

}  // namespace platform
