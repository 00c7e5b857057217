#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>

class QPainter;

namespace platform {

class BackgroundWork;
class ReadableFile;
struct FileState;

// A picture as image controls hold it: decoded once, shared by every holder,
// with a handle that is non-zero exactly while it holds a picture. A picture
// is either pixels or, for Windows metafiles, vector drawing; holders see only
// its natural size and ask it to draw itself.
//
// Loading may run on any thread, and stops early once the work it runs for
// is cancelled. A picture loaded for a small box holds only a reduced copy of
// its pixels; the whole picture is decoded when something needs it, once
// for each file in each state, and shared while anything holds it.
class Picture {
 public:
  // The empty picture.
  Picture() = default;

  // Loads a picture file. An empty path gives the empty picture. Only regular
  // files (or links to them) are read; a file is judged by its first bytes
  // before more is read; anything else, data that cannot be decoded and a
  // JPEG that ends before its image does all fail.
  static Picture load(const QString& path, const BackgroundWork* work = nullptr);
  // The same from a file opened already (on another thread, say).
  static Picture load(const ReadableFile& file, const BackgroundWork* work = nullptr);
  // The same for a picture to be shown at most box large (device pixels): a
  // larger picture takes its natural size from its header and is decoded
  // only as large as needed to fill the box.
  static Picture loadFitting(const QString& path, QSize box, const BackgroundWork* work = nullptr);
  static Picture loadFitting(const ReadableFile& file, QSize box, const BackgroundWork* work = nullptr);
  static Picture fromImage(QImage image);

  // Decodes, at low priority, what loadFitting would give for the box, and
  // keeps it a while for loadFitting to find: the preview of a row the user
  // is likely to go to next. At most 2 MB of such pictures are kept, the
  // latest; a file that changed since is decoded anew. Raster pictures only.
  static void prefetchFitting(const QString& path, QSize box, const BackgroundWork* work);

  // Whether the file holds a Windows bitmap, judged by its first bytes as a
  // picture's kind is when it is loaded, whatever its name says.
  static bool isWindowsBitmap(const ReadableFile& file);

  bool isEmpty() const { return !image_ && !vector_; }
  std::uint64_t handle() const { return handle_; }

  // Natural size in pixels, upright as the picture is shown.
  QSize pixelSize() const;
  // Natural size in twips.
  float width() const;
  float height() const;

  // Draws the part of the picture, scaled to fill target, that lies in
  // exposed (both in the painter's coordinates), at the device's own
  // resolution, from what is made already: drawing never decodes, scales
  // the whole picture or waits for the metafile helper. False when some of
  // it was drawn only roughly, or left white, until prepareDrawing has made
  // what it takes.
  bool draw(QPainter& painter, const QRect& target, const QRect& exposed) const;
  // Makes, off the window's thread, what drawing the picture at this size in
  // device pixels takes: a scaled copy, or a metafile's tiles (those of the
  // part, in device pixels of the picture at that size; else all of them
  // when they fit in the cache).
  void prepareDrawing(QSize deviceSize, const BackgroundWork* work = nullptr) const;
  void prepareDrawing(QSize deviceSize, const QRect& part, const BackgroundWork* work = nullptr) const;

  // The picture at its natural size: the decoded pixels, or a metafile drawn
  // on white. A null image for the empty picture. Decodes the whole picture
  // first when only a reduced copy is held (see decodeWhole).
  const QImage& image() const;
  // Decodes the whole picture, or draws a metafile at its natural size,
  // unless that is done; the file must still be as it was when loaded.
  void decodeWhole(const BackgroundWork* work = nullptr) const;

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
  struct Prefetched;
  explicit Picture(std::shared_ptr<Pixels> pixels);
  explicit Picture(std::shared_ptr<Drawing> drawing);
  static Picture open(const ReadableFile& file, QSize box, const BackgroundWork* work, bool prefetching = false);
  static Picture loadMetafile(const ReadableFile& file, const BackgroundWork* work);

  std::shared_ptr<Pixels> image_;
  std::shared_ptr<Drawing> vector_;
  std::uint64_t handle_ = 0;
};

}  // namespace platform
