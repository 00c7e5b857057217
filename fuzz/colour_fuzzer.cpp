// Fuzz target for colour profiles, as pictures bring them: the bytes as the
// profile of a small picture in each layout pixels come in (8-bit and 16-bit
// colour and grey, CMYK as stored either way, a colour table), as a JPEG's
// EXIF block, and as the file a PNG, WebP or TIFF profile is looked for in.
// Built with libFuzzer under clang (make fuzz); otherwise with a driver that
// replays the corpus, as a test.

#include "FuzzSupport.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/pictures/ColourProfiles.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

using platform::ColourTransform;

// A small gradient, so that every channel takes many values.
QImage gradient(QImage::Format format) {
  QImage image(64, 16, format);
  if (format == QImage::Format_Indexed8) {
    QList<QRgb> colours;
    for (int i = 0; i < 256; ++i) colours.append(qRgb(i, 255 - i, i * 7));
    image.setColorTable(colours);
  }
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (format == QImage::Format_Indexed8)
        image.setPixel(x, y, static_cast<uint>((x * 4 + y) % 256));
      else
        image.setPixelColor(x, y, QColor::fromRgb(x * 4, y * 16, (x * y) % 256, 255 - x));
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QTemporaryDir& folder = fuzzing::workFolder<QGuiApplication>("colour_fuzzer", false);
  for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Grayscale8,
                                      QImage::Format_RGBA64, QImage::Format_Grayscale16, QImage::Format_Indexed8})
    platform::convertedColours(gradient(format), bytes, platform::ColourTarget::Srgb);
  for (const auto layout : {ColourTransform::Layout::Cmyk8, ColourTransform::Layout::InvertedCmyk8})
    platform::convertedColours(gradient(QImage::Format_RGB32), bytes, platform::ColourTarget::Srgb, layout);
  // The same bytes as the display's profile, which the desktop publishes.
  platform::setDisplayProfile(bytes);
  platform::convertedColours(gradient(QImage::Format_RGB32), platform::adobeRgbProfile(),
                             platform::ColourTarget::Display);
  platform::setDisplayProfile({});
  platform::exifDeclaresAdobeRgb(bytes);

  const QString path = folder.filePath(QStringLiteral("picture"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) return 0;
  file.close();
  platform::runCatchingErrors([&] {
    const platform::ReadableFile picture(path);
    for (const char* format : {"png", "webp", "tiff"}) platform::embeddedProfile(picture, format);
  });
  return 0;
}
