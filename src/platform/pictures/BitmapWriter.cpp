#include "platform/pictures/BitmapWriter.h"

#include "platform/desktop/RuntimeError.h"

#include <QByteArray>
#include <QIODevice>
#include <QImage>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>

namespace platform {

namespace {

// Alpha channels are often there with every pixel opaque.
bool hasTransparentPixels(const QImage& image) {
  if (!image.hasAlphaChannel()) return false;
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x)
      if (qAlpha(line[x]) != 255) return true;
  }
  return false;
}

void append16(QByteArray& bytes, std::uint32_t value) {
  bytes.append(static_cast<char>(value & 0xFF));
  bytes.append(static_cast<char>((value >> 8) & 0xFF));
}

void append32(QByteArray& bytes, std::uint32_t value) {
  append16(bytes, value & 0xFFFF);
  append16(bytes, value >> 16);
}

}  // namespace

// An opaque picture takes 24 bits a pixel under the plain 40-byte header; one
// with transparent pixels takes 32, under the 108-byte header whose masks say
// where the alpha is.
void writeBitmap(QIODevice& out, const QImage& picture) {
  const bool alpha = hasTransparentPixels(picture);
  const QImage image = picture.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  const int bytesPerPixel = alpha ? 4 : 3;
  const std::uint32_t headerSize = alpha ? 108 : 40;
  const std::uint32_t pixelsAt = 14 + headerSize;
  const std::int64_t stride = (static_cast<std::int64_t>(image.width()) * bytesPerPixel + 3) / 4 * 4;
  const std::int64_t pixelBytes = stride * image.height();
  if (pixelBytes + pixelsAt > std::numeric_limits<std::uint32_t>::max()) raise(errors::Overflow);

  QByteArray header("BM");
  append32(header, static_cast<std::uint32_t>(pixelsAt + pixelBytes));
  append32(header, 0);
  append32(header, pixelsAt);
  append32(header, headerSize);
  append32(header, static_cast<std::uint32_t>(image.width()));
  append32(header, static_cast<std::uint32_t>(image.height()));
  append16(header, 1);
  append16(header, static_cast<std::uint32_t>(bytesPerPixel * 8));
  append32(header, alpha ? 3 : 0);  // bit fields, or plain
  append32(header, static_cast<std::uint32_t>(pixelBytes));
  append32(header, static_cast<std::uint32_t>(std::max(0, image.dotsPerMeterX())));
  append32(header, static_cast<std::uint32_t>(std::max(0, image.dotsPerMeterY())));
  append32(header, 0);  // colours used
  append32(header, 0);  // colours important
  if (alpha) {
    for (std::uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) append32(header, mask);
    append32(header, 0x73524742);  // sRGB
    header.append(36 + 12, '\0');  // no end points, no gamma
  }
  out.write(header);

  QByteArray row(static_cast<qsizetype>(stride), '\0');
  for (int y = image.height() - 1; y >= 0; --y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    char* at = row.data();
    for (int x = 0; x < image.width(); ++x) {
      *at++ = static_cast<char>(qBlue(line[x]));
      *at++ = static_cast<char>(qGreen(line[x]));
      *at++ = static_cast<char>(qRed(line[x]));
      if (alpha) *at++ = static_cast<char>(qAlpha(line[x]));
    }
    if (out.write(row) != row.size()) raiseFromErrno(errno);
  }
}


}  // namespace platform
