// Fuzz target for loading metafiles: the header reader, then what the
// metafile helper does with the picture, run here in-process: the conversion
// to SVG, reading that, and drawing it at two sizes. Built with libFuzzer
// under clang (make fuzz); with other compilers it is built with a driver
// that replays the corpus, as a test.

#include "metafile_helper/MetafileConversion.h"
#include "metafile_helper/SvgRenderer.h"
#include "platform/pictures/MetafileHeader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (!platform::readMetafileHeader(bytes)) return 0;
  const QByteArray svg = metafile::convertToSvg(bytes);
  if (svg.isEmpty()) return 0;
  if (const auto picture = metafile::SvgRenderer::fromSvg(svg)) {
    picture->render(QSize(96, 64), QRect(0, 0, 96, 64));
    picture->render(QSize(4000, 3000), QRect(1000, 1000, 32, 32));
  }
  return 0;
}
