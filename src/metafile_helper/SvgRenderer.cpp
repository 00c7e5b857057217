// GLib headers come before Qt's, whose "signals" keyword they use as a name.
#include <librsvg/rsvg.h>

#include "metafile_helper/SvgRenderer.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace metafile {

namespace {

std::uint32_t bigEndian(const QByteArray& data, qsizetype at, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | static_cast<unsigned char>(data[at + i]);
  return value;
}

// The size a PNG file's header gives; invalid when it is none.
QSize pngSize(const QByteArray& data) {
  if (data.size() < 24 || !data.startsWith("\x89PNG\r\n\x1a\n") || data.mid(12, 4) != "IHDR") return {};
  const std::uint32_t width = bigEndian(data, 16, 4), height = bigEndian(data, 20, 4);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return {};
  return QSize(static_cast<int>(width), static_cast<int>(height));
}

// The size in a JPEG file's first frame header; invalid when there is none.
QSize jpegSize(const QByteArray& data) {
  if (!data.startsWith("\xFF\xD8")) return {};
  qsizetype at = 2;
  while (at + 4 <= data.size()) {
    if (static_cast<unsigned char>(data[at]) != 0xFF) return {};
    const unsigned marker = static_cast<unsigned char>(data[at + 1]);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const qsizetype length = bigEndian(data, at + 2, 2);
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 9 > data.size()) return {};
      return QSize(static_cast<int>(bigEndian(data, at + 7, 2)), static_cast<int>(bigEndian(data, at + 5, 2)));
    }
    if (length < 2) return {};
    at += 2 + length;
  }
  return {};
}

// The size of a picture embedded as a base64 data address, from its header;
// invalid for anything but a PNG or JPEG file, the kinds the converters embed.
QSize embeddedPictureSize(QByteArrayView address) {
  const qsizetype comma = address.indexOf(',');
  if (!address.startsWith("data:image/") || comma < 0 || !address.first(comma).endsWith(";base64")) return {};
  const QByteArray data = QByteArray::fromBase64(address.sliced(comma + 1).toByteArray());
  const QSize png = pngSize(data);
  return png.isValid() ? png : jpegSize(data);
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

QByteArray SvgRenderer::render(QSize size, const QRect& part) const {
  const qint64 bytes = static_cast<qint64>(part.width()) * part.height() * 4;
  if (part.isEmpty() || bytes > std::numeric_limits<int>::max()) return {};
  QByteArray pixels(static_cast<qsizetype>(bytes), '\xFF');  // white
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_ARGB32,
                                          part.width(), part.height(), part.width() * 4);
  cairo_t* cairo = cairo_create(surface);
  const RsvgRectangle viewport{-static_cast<double>(part.x()), -static_cast<double>(part.y()),
                               static_cast<double>(size.width()), static_cast<double>(size.height())};
  GError* error = nullptr;
  rsvg_handle_render_document(handle_, cairo, &viewport, &error);
  if (error) g_error_free(error);
  cairo_destroy(cairo);
  cairo_surface_destroy(surface);
  return pixels;
}

}  // namespace metafile
