#pragma once

#include <QByteArray>
#include <QRect>
#include <QSizeF>

#include <memory>

struct _RsvgHandle;

namespace metafile {

// A converted metafile, read by librsvg and drawn with cairo at any size.
class SvgRenderer {
 public:
  // Nothing when the document cannot be read, links outside itself, or the
  // pictures it embeds would take more than EmbeddedPixelsLimit pixels.
  static std::unique_ptr<SvgRenderer> fromSvg(const QByteArray& svg);
  ~SvgRenderer();
  SvgRenderer(const SvgRenderer&) = delete;
  SvgRenderer& operator=(const SvgRenderer&) = delete;

  // The extent of the drawing in its own units, as the document gives it.
  QSizeF drawingExtent() const { return extent_; }

  // The part of the picture scaled to size that lies in part, on white: its
  // pixels as 32-bit premultiplied ARGB, row after row; empty when it is too
  // large to hold.
  QByteArray render(QSize size, const QRect& part) const;

  static constexpr qint64 EmbeddedPixelsLimit = 100'000'000;

 private:
  SvgRenderer(_RsvgHandle* handle, QSizeF extent) : handle_(handle), extent_(extent) {}

  _RsvgHandle* handle_;
  QSizeF extent_;
};

}  // namespace metafile
