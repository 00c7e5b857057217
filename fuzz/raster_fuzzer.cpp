// Fuzz target for raster pictures: the bytes decoded here, for the preview
// box (a large JPEG through the reduced decoder) and whole, as the decoder
// worker decodes them; then the way the browser meets them, through the
// worker: loaded for the preview box, drawn fitted into it and saved as a
// bitmap; loaded whole for the viewer and, at 16 times its size, a
// screenful of it drawn. Metafiles are left to the metafile target (here
// they would only start the helper). Built with libFuzzer under clang (make
// fuzz); otherwise with a driver that replays the corpus, as a test.

#include "FuzzSupport.h"
#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"
#include "platform/pictures/DecoderWorkers.h"
#include "platform/pictures/MetafileHeader.h"
#include "platform/pictures/Picture.h"
#include "platform/pictures/RasterDecoding.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

using platform::Picture;

constexpr int PreviewSide = 105;  // the preview box inside its border
constexpr int Zoom = 16;
constexpr int WidestWidget = 16'777'215;
constexpr QSize Screenful(1280, 1024);

// The size the preview box shows a picture at: its own when it fits,
// otherwise scaled down to fit, keeping its shape.
QSize fitted(QSize size) {
  if (size.width() <= PreviewSide && size.height() <= PreviewSide) return size;
  return size.scaled(PreviewSide, PreviewSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (platform::readMetafileHeader(bytes)) return 0;
  const QTemporaryDir& folder = fuzzing::workFolder<QGuiApplication>("raster_fuzzer");
  platform::DecoderWorkers::setProgram(QStringLiteral(TAVLO_DECODER_PROGRAM));
  const QString path = folder.filePath(QStringLiteral("picture"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) return 0;
  }
  platform::runCatchingErrors([&] {
    const platform::ReadableFile file(path);
    platform::decodeRaster(file, QSize(PreviewSide, PreviewSide), platform::ColourTarget::Display, nullptr);
    platform::decodeRaster(file, QSize(), platform::ColourTarget::Display, nullptr);
  });

  Picture preview;
  if (platform::runCatchingErrors([&] { preview = Picture::loadFitting(path, QSize(PreviewSide, PreviewSide)); }))
    return 0;
  const QRect box(QPoint(0, 0), fitted(preview.pixelSize()));
  platform::runCatchingErrors([&] { fuzzing::paint(preview, box, box); });
  // Saved from the preview, as the browser does, which decodes it whole.
  platform::runCatchingErrors([&] { preview.saveAsBitmap(folder.filePath(QStringLiteral("saved.bmp"))); });

  Picture picture;
  if (platform::runCatchingErrors([&] { picture = Picture::load(path); })) return 0;
  const QSize natural = picture.pixelSize();
  // The viewer refuses a picture wider or higher than the widest widget.
  if (natural.width() <= WidestWidget / Zoom && natural.height() <= WidestWidget / Zoom) {
    const QRect zoomed(QPoint(0, 0), natural * Zoom);
    // Scrolled to the end: the last screenful.
    const QRect screenful = QRect(QPoint(0, 0), Screenful)
                                .translated(std::max(0, zoomed.width() - Screenful.width()),
                                            std::max(0, zoomed.height() - Screenful.height()));
    platform::runCatchingErrors([&] { fuzzing::paint(picture, zoomed, screenful & zoomed); });
  }
  return 0;
}
