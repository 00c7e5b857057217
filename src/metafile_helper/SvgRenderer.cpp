// GLib headers come before Qt's, whose "signals" keyword they use as a name.
#include <librsvg/rsvg.h>

#include "metafile_helper/SvgRenderer.h"

#include <QBuffer>
#include <QImageReader>

namespace metafile {

namespace {

// The size of a picture embedded as a base64 data address; invalid for
// anything else.
QSize embeddedPictureSize(QByteArrayView address) {
  const qsizetype comma = address.indexOf(',');
  if (!address.startsWith("data:image/") || comma < 0 || !address.first(comma).endsWith(";base64")) return {};
  QByteArray data = QByteArray::fromBase64(address.sliced(comma + 1).toByteArray());
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  return QImageReader(&buffer).size();
}

// librsvg decodes the pictures a document embeds whole, so their sizes are
// read from their headers first: a forged size must not exhaust memory. Every
// link in the document must be written plainly, to a place inside the
// document or to an embedded picture of a size that fits.
bool embeddedPicturesFit(const QByteArray& svg) {
  qint64 pixels = 0;
  for (qsizetype at = svg.indexOf("href"); at >= 0; at = svg.indexOf("href", at + 4)) {
    const qsizetype quoteAt = at + 5;
    if (quoteAt >= svg.size() || svg[at + 4] != '=' || (svg[quoteAt] != '"' && svg[quoteAt] != '\'')) return false;
    const qsizetype end = svg.indexOf(svg[quoteAt], quoteAt + 1);
    if (end < 0) return false;
    const QByteArrayView address = QByteArrayView(svg).sliced(quoteAt + 1, end - quoteAt - 1);
    if (address.startsWith("#")) continue;
    const QSize size = embeddedPictureSize(address);
    if (!size.isValid()) return false;
    pixels += static_cast<qint64>(size.width()) * size.height();
    if (pixels > SvgRenderer::EmbeddedPixelsLimit) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<SvgRenderer> SvgRenderer::fromSvg(const QByteArray& svg) {
  if (!embeddedPicturesFit(svg)) return nullptr;
  GError* error = nullptr;
  // No base file: the document may use only what it holds itself.
  GInputStream* stream = g_memory_input_stream_new_from_data(svg.constData(), svg.size(), nullptr);
  RsvgHandle* handle = rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, &error);
  g_object_unref(stream);
  if (error) g_error_free(error);
  if (!handle) return nullptr;
  double width = 0, height = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height) || !(width > 0) || !(height > 0)) {
    g_object_unref(handle);
    return nullptr;
  }
  return std::unique_ptr<SvgRenderer>(new SvgRenderer(handle, QSizeF(width, height)));
}

SvgRenderer::~SvgRenderer() { g_object_unref(handle_); }

QImage SvgRenderer::render(QSize size, const QRect& part) const {
  QImage image(part.size(), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return image;
  image.fill(Qt::white);
  cairo_surface_t* surface = cairo_image_surface_create_for_data(image.bits(), CAIRO_FORMAT_ARGB32, image.width(),
                                                                 image.height(), static_cast<int>(image.bytesPerLine()));
  cairo_t* cairo = cairo_create(surface);
  const RsvgRectangle viewport{-static_cast<double>(part.x()), -static_cast<double>(part.y()),
                               static_cast<double>(size.width()), static_cast<double>(size.height())};
  GError* error = nullptr;
  rsvg_handle_render_document(handle_, cairo, &viewport, &error);
  if (error) g_error_free(error);
  cairo_destroy(cairo);
  cairo_surface_destroy(surface);
  return image;
}

}  // namespace metafile
